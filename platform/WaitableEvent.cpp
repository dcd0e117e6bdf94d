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

CWaitableEvent::CWaitableEvent(bool initialState, bool manualReset) : manualReset_(manualReset) {
    fd_ = ::eventfd(initialState ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CWaitableEvent::~CWaitableEvent() {
    if (fd_ >= 0)
        ::close(fd_);
}

void CWaitableEvent::Set() {
    if (fd_ < 0)
        return;
    signals_.fetch_add(1, std::memory_order_release);
    // The counter only needs to be non-zero; a full counter (EAGAIN) is already set.
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void CWaitableEvent::Reset() {
    Consume();
}

bool CWaitableEvent::Consume() {
    if (fd_ < 0)
        return false;
    uint64_t value = 0;
    return ::read(fd_, &value, sizeof value) == sizeof value;
}

bool CWaitableEvent::Wait(uint32_t timeoutMs) {
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
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
