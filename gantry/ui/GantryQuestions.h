#pragma once
// The manager's questions and name errors, in one place that tests answer in place of a user:
// caption "Gantry Manager", Yes and No with No as the default for questions, OK for errors.

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>

namespace quillory::ui {

class CGantryQuestions {
public:
    static constexpr const char* CAPTION = "Gantry Manager";

    virtual ~CGantryQuestions() = default;

    // True only for Yes. A queued answer is taken instead of showing the box.
    virtual bool Confirm(QWidget* parent, const QString& text);
    // A message with an OK button.
    virtual void Tell(QWidget* parent, const QString& text);

    // Tests: answer the next question with Yes (true) or No.
    void QueueAnswer(bool yes) { answers_.push_back(yes); }
    // Every text asked or told, in order.
    const QStringList& Asked() const { return asked_; }

private:
    std::deque<bool> answers_;
    QStringList asked_;
};

} // namespace quillory::ui
