#pragma once
// Ends the window on SIGINT or SIGTERM as "Close" does, but only once the work in hand has
// stopped: each dialog over the window is asked to close, the innermost first, and asked again
// while it refuses (a download cancels, undoes the package in hand and closes itself when its
// worker has ended). The window closes, saving once, when no dialog is left over it.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

class QDialog;

namespace quillory::platform {
class CSignalPipe;
}

namespace quillory::ui {

class CStopSignalClose final : public QObject {
    Q_OBJECT

public:
    // How often a dialog that refused is asked again.
    static constexpr int RETRY_MS = 50;

    // Watches `pipe` for as long as this object lives; `window` must outlive it.
    CStopSignalClose(QDialog& window, platform::CSignalPipe& pipe);
    ~CStopSignalClose() override;
    CStopSignalClose(const CStopSignalClose&) = delete;
    CStopSignalClose& operator=(const CStopSignalClose&) = delete;

    // Whether a stop was asked for.
    bool Requested() const { return requested_; }

private:
    void OnSignal();
    void Step();
    // Closes the dialogs over the window, innermost first; false while one refuses.
    bool CloseDialogsOver();

    QDialog& window_;
    platform::CSignalPipe& pipe_;
    QSocketNotifier notifier_;
    QTimer retry_;
    bool requested_ = false;
};

} // namespace quillory::ui
