#pragma once
// The one way the program shows a message box, so that tests can answer in place of a user.

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>

namespace quillory::ui {

class CMessageBoxes final {
public:
    // Shows an information box with "OK" and returns the button pressed, or the next queued
    // answer without showing anything.
    QMessageBox::StandardButton Information(QWidget* parent, const QString& caption,
                                            const QString& text);

    // Shows `text` with a button `action` beside "Close"; true when `action` was pressed (a
    // queued answer of QMessageBox::Open counts as that).
    bool Offer(QWidget* parent, const QString& caption, const QString& text, const QString& action);

    // Tests: answer the next box with `answer` instead of showing it.
    void QueueAnswer(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
    // "caption: text" of every box asked for, shown or answered.
    const QStringList& Asked() const { return asked_; }

private:
    std::deque<QMessageBox::StandardButton> answers_;
    QStringList asked_;
};

} // namespace quillory::ui
