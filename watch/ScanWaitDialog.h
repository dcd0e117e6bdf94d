#pragma once
// "Gantry file scanner, please wait": names the file the start-up scan examines and lets the
// user skip the scan.

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QTimer;

namespace quillory::ui {

class CScanWaitDialog final : public QDialog {
    Q_OBJECT

public:
    static constexpr int REFRESH_MS = 200;

    // `scanText` reads the path being examined (under the database's own lock); `cancel`
    // asks the scan to stop early. Both are called on the window's thread.
    CScanWaitDialog(std::function<QString()> scanText, std::function<void()> cancel,
                    QWidget* parent = nullptr);

    // One refresh of the text, as the timer does it.
    void Refresh();

    // "Skip": stops the scan and closes.
    void reject() override;

private:
    std::function<QString()> scanText_;
    std::function<void()> cancel_;
    QLabel* text_;
    QTimer* timer_;
};

} // namespace quillory::ui
