#pragma once
// A thread with a first-in-first-out queue of three-word messages.

#include "platform/EventHandle.h"
#include "platform/Lock.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <thread>

namespace quillory {

// Results of CWorkerThread::Wait, as the system reports them for a thread.
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 0x102;

class CWorkerThread {
public:
    struct Message {
        uint32_t code;
        uint32_t first;
        uint32_t second;
    };

    CWorkerThread();
    // Waits for a thread that is still running: the thread uses this object. Derived classes
    // must make their thread end before their own members go.
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Callable from any thread.
    void Post(uint32_t code, uint32_t first = 0, uint32_t second = 0);
    // The oldest message, or false when the queue is empty.
    bool TryGet(uint32_t& code, uint32_t* first = nullptr, uint32_t* second = nullptr);
    // Blocks until a message is there.
    void Get(uint32_t& code, uint32_t* first = nullptr, uint32_t* second = nullptr);

    // False when a thread is already held.
    bool Start();
    // WAIT_OBJECT_0 once the thread has ended (or when there is none), WAIT_TIMEOUT before.
    uint32_t Wait(uint32_t milliseconds);
    // Forgets the thread, waiting for it first if it still runs.
    void CloseThreadHandle();

    void SetStopFlag() { stop_ = true; }
    bool StopFlag() const { return stop_; }

protected:
    virtual uint32_t Run() = 0;
    CEventHandle& WakeEvent() { return wake_; }

private:
    std::atomic<bool> stop_{false};
    CEventHandle wake_;
    CLock queueLock_;
    std::deque<Message> queue_;
    std::thread thread_;
    CEventHandle finished_{false, true};
};

} // namespace quillory
