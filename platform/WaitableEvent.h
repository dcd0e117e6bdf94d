#pragma once
// An event that threads signal and wait on, and that can be waited on together with a socket.
// Its descriptor is made only when a wait or a poll needs it: many events are set and dropped
// without anyone waiting, and those cost no system call at all.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

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

    // False once making the descriptor has failed; until then the event works in memory.
    bool IsValid() const { return !failed_.load(std::memory_order_acquire); }
    bool ManualReset() const { return manualReset_; }
    void Set();
    void Reset();
    // True when the event was (or became) set within `timeoutMs` (WAIT_FOREVER: no limit).
    bool Wait(uint32_t timeoutMs);

    // Consumes the signal of an auto-reset event that a poll found set; false when another
    // waiter took it first.
    bool Consume();
    // Makes the descriptor if there is none yet (-1 when that fails); it is readable while
    // the event is set.
    int NativeHandle() const { return Descriptor(); }

    // Called by a waiter that saw the event set: everything the setting thread wrote before
    // Set() is visible from here on. The kernel's counter orders it in practice; this makes the
    // hand-over one the C++ memory model (and ThreadSanitizer) can see too.
    void AcquireSignal() const { (void)signals_.load(std::memory_order_acquire); }

private:
    int Descriptor() const;
    // While there is no descriptor: whether the event is set, cleared on the way when `clear`.
    // Nothing once the descriptor exists and holds the state.
    std::optional<bool> TakeInMemory(bool clear);

    // -1 until a waiter needs the descriptor; written once, under `createLock_`.
    mutable std::atomic<int> fd_{-1};
    mutable std::atomic<bool> failed_{false};
    // Guards making the descriptor and `pending_`, so that a Set() racing with it is kept.
    mutable std::mutex createLock_;
    // The signal while there is no descriptor; handed to the descriptor when it is made.
    mutable bool pending_ = false;
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
