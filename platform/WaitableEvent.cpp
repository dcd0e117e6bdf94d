#include "platform/WaitableEvent.h"

#include "platform/UdpSocket.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quillory {

namespace {

int PollTimeout(uint32_t timeoutMs) {
    return timeoutMs > 0x7fffffffu ? -1 : static_cast<int>(timeoutMs);
}

int PollRetrying(pollfd* fds, nfds_t count, uint32_t timeoutMs) {
    int r;
    do {
        r = ::poll(fds, count, PollTimeout(timeoutMs));
    } while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

CWaitableEvent::CWaitableEvent(bool initialState, bool manualReset)
    : pending_(initialState), manualReset_(manualReset) {}

CWaitableEvent::~CWaitableEvent() {
    const int fd = fd_.load(std::memory_order_acquire);
    if (fd >= 0)
        ::close(fd);
}

int CWaitableEvent::Descriptor() const {
    int fd = fd_.load(std::memory_order_acquire);
    if (fd >= 0)
        return fd;
    std::lock_guard guard(createLock_);
    fd = fd_.load(std::memory_order_relaxed);
    if (fd >= 0 || failed_.load(std::memory_order_relaxed))
        return fd;
    // A signal given before now is carried over, so no waiter misses it.
    fd = ::eventfd(pending_ ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        failed_.store(true, std::memory_order_release);
        return -1;
    }
    pending_ = false;
    fd_.store(fd, std::memory_order_release);
    return fd;
}

std::optional<bool> CWaitableEvent::TakeInMemory(bool clear) {
    if (fd_.load(std::memory_order_acquire) >= 0)
        return std::nullopt;
    std::lock_guard guard(createLock_);
    if (fd_.load(std::memory_order_relaxed) >= 0)
        return std::nullopt;
    const bool set = pending_;
    if (clear)
        pending_ = false;
    return set;
}

void CWaitableEvent::Set() {
    signals_.fetch_add(1, std::memory_order_release);
    int fd = fd_.load(std::memory_order_acquire);
    if (fd < 0) {
        std::lock_guard guard(createLock_);
        fd = fd_.load(std::memory_order_relaxed);
        if (fd < 0) {
            pending_ = true;
            return;
        }
    }
    // The counter only needs to be non-zero; a full counter (EAGAIN) is already set.
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
}

void CWaitableEvent::Reset() {
    Consume();
}

bool CWaitableEvent::Consume() {
    if (const std::optional<bool> set = TakeInMemory(true))
        return *set;
    uint64_t value = 0;
    return ::read(fd_.load(std::memory_order_acquire), &value, sizeof value) == sizeof value;
}

bool CWaitableEvent::Wait(uint32_t timeoutMs) {
    // A signal still in memory is taken there, and so is the answer of a wait that may not
    // block: neither needs the descriptor.
    if (const std::optional<bool> set = TakeInMemory(!manualReset_)) {
        if (*set) {
            AcquireSignal();
            return true;
        }
        if (timeoutMs == 0)
            return false;
    }
    const int fd = Descriptor();
    if (fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    // Another waiter may take an auto-reset signal between the poll and the read: wait again.
    for (;;) {
        if (PollRetrying(&p, 1, timeoutMs) <= 0)
            return false;
        if (manualReset_ || Consume()) {
            AcquireSignal();
            return true;
        }
        if (timeoutMs == 0)
            return false;
    }
}

WaitResult WaitForSocketOrEvent(const CUdpSocket& socket, CWaitableEvent& event,
                                uint32_t timeoutMs) {
    pollfd fds[2] = {{socket.NativeHandle(), POLLIN, 0}, {event.NativeHandle(), POLLIN, 0}};
    int r = PollRetrying(fds, 2, timeoutMs);
    if (r == 0)
        return WaitResult::Timeout;
    if (r < 0)
        return WaitResult::Failed;
    if (fds[0].revents & (POLLIN | POLLERR))
        return WaitResult::Socket;
    if (fds[1].revents & POLLIN) {
        if (!event.ManualReset())
            event.Consume();
        event.AcquireSignal();
        return WaitResult::Event;
    }
    return WaitResult::Failed;
}

} // namespace quillory
