#pragma once
// An event that threads signal and wait on, and that can be waited on together with a socket.

#include <atomic>
#include <cstdint>

namespace quillory {

class CUdpSocket;

constexpr uint32_t WAIT_FOREVER = 0xFFFFFFFFu;

class CWaitableEvent final {
public:
    // An auto-reset event is cleared by the wait that sees it; a manual-reset one stays set.
    CWaitableEvent(bool initialState, bool manualReset);
    ~CWaitableEvent();
    CWaitableEvent(const CWaitableEvent&) = delete;
    CWaitableEvent& operator=(const CWaitableEvent&) = delete;

    bool IsValid() const { return fd_ >= 0; }
    bool ManualReset() const { return manualReset_; }
    void Set();
    void Reset();
    // True when the event was (or became) set within `timeoutMs` (WAIT_FOREVER: no limit).
    bool Wait(uint32_t timeoutMs);

    // Consumes the signal of an auto-reset event that a poll found set; false when another
    // waiter took it first.
    bool Consume();
    int NativeHandle() const { return fd_; }

    // Called by a waiter that saw the event set: everything the setting thread wrote before
    // Set() is visible from here on. The kernel's counter orders it in practice; this makes the
    // hand-over one the C++ memory model (and ThreadSanitizer) can see too.
    void AcquireSignal() const { (void)signals_.load(std::memory_order_acquire); }

private:
    int fd_ = -1;
    bool manualReset_ = false;
    std::atomic<uint64_t> signals_{0};
};

enum class WaitResult { Timeout, Socket, Event, Failed };

// Waits for a datagram on `socket` or the event, at most `timeoutMs`. When both are ready the
// socket wins. An auto-reset event is cleared when it is the result. A closed socket is
// simply not waited on.
WaitResult WaitForSocketOrEvent(const CUdpSocket& socket, CWaitableEvent& event,
                                uint32_t timeoutMs);

} // namespace quillory
