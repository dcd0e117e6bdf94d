#pragma once
// Hands work from any thread over to a window's thread, and drops it once the window has gone.
// The window keeps it in a shared pointer, lends copies to the threads that call back, and
// drops it before it goes.

#include <QObject>

#include <functional>
#include <mutex>

namespace quillory::ui {

class CQueuedTarget final {
public:
    explicit CQueuedTarget(QObject* target) : target_(target) {}
    CQueuedTarget(const CQueuedTarget&) = delete;
    CQueuedTarget& operator=(const CQueuedTarget&) = delete;

    // From now on nothing more is queued. Called on the target's thread.
    void Drop();

    // Queues `work` to run on the target's thread, unless the target has gone. Any thread.
    void Post(std::function<void()> work);

private:
    std::mutex mutex_;
    QObject* target_;
};

} // namespace quillory::ui
