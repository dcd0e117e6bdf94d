#pragma once
// What other threads may use of the database while a worker owns it: the text the wait dialog
// shows, and the request to stop a scan with its answer. Every operation is thread-safe.

#include "common/Types.h"

#include "platform/Lock.h"
#include <atomic>

#include <mutex>

namespace quillory {

class CScanProgress final {
public:
    CScanProgress() = default;
    CScanProgress(const CScanProgress&) = delete;
    CScanProgress& operator=(const CScanProgress&) = delete;

    // The wait dialog's text: the path in hand (its last TEXT_TAIL characters when longer).
    static constexpr size_t TEXT_TAIL = 50;
    void Publish(const String& path);
    String Text() const;

    // Any thread: asks the running scan or check to stop before its next entry or block.
    void RequestCancel() { cancelRequested_ = true; }
    bool CancelRequested() const { return cancelRequested_; }
    void ClearCancelRequest() { cancelRequested_ = false; }
    // The worker: the walk stopped on request; the request is answered.
    void MarkCancelled() {
        cancelled_ = true;
        cancelRequested_ = false;
    }
    void ClearCancelled() { cancelled_ = false; }
    bool Cancelled() const { return cancelled_; }

private:
    mutable CLock lock_; // guards text_
    String text_;
    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> cancelled_{false};
};

} // namespace quillory
