#include "watch/StopSignalClose.h"

#include "platform/SignalPipe.h"

#include <QApplication>
#include <QDialog>

namespace quillory::ui {

namespace {

// More dialogs than this over the window means one is being reopened: stop for this step.
constexpr int kMaxDialogsPerStep = 16;

} // namespace

CStopSignalClose::CStopSignalClose(QDialog& window, platform::CSignalPipe& pipe)
    : window_(window), pipe_(pipe), notifier_(pipe.ReadFd(), QSocketNotifier::Read) {
    notifier_.setEnabled(pipe.ReadFd() >= 0);
    connect(&notifier_, &QSocketNotifier::activated, this, &CStopSignalClose::OnSignal);
    retry_.setInterval(RETRY_MS);
    connect(&retry_, &QTimer::timeout, this, &CStopSignalClose::Step);
}

CStopSignalClose::~CStopSignalClose() = default;

void CStopSignalClose::OnSignal() {
    pipe_.Drain();
    requested_ = true;
    Step();
}

void CStopSignalClose::Step() {
    // A dialog that refused is asked again from the retry timer, which runs in whatever
    // dialog's loop is innermost by then.
    if (!CloseDialogsOver()) {
        retry_.start();
        return;
    }
    retry_.stop();
    window_.accept();
}

bool CStopSignalClose::CloseDialogsOver() {
    for (int guard = 0; guard < kMaxDialogsPerStep; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == &window_)
            return true;
        // A message box or dialog runs a loop of its own: closed first, the window's closing
        // steps run to their end instead of waiting behind it.
        modal->close();
        if (auto* dialog = qobject_cast<QDialog*>(modal);
            dialog != nullptr && QApplication::activeModalWidget() == modal)
            dialog->reject();
        if (QApplication::activeModalWidget() == modal)
            return false; // it has work to end first
    }
    return false;
}

} // namespace quillory::ui
