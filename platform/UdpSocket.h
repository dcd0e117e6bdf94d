#pragma once
// A non-blocking IPv4 UDP socket. Addresses are in network order, ports in host order.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillory {

class CUdpSocket final {
public:
    // Network events as a socket worker reports them.
    enum Event : uint32_t {
        EV_READ = 1,
        EV_WRITE = 2,
        EV_OOB = 4,
        EV_ACCEPT = 8,
        EV_CONNECT = 16,
        EV_CLOSE = 32,
    };

    CUdpSocket() = default;
    ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    // Creates the socket and binds it to `port` on `address` (0 and 0: any port, any interface).
    bool Open(uint16_t port, uint32_t address);
    // Returns the result of closing, 0 when nothing was open.
    int Close();
    bool IsOpen() const { return fd_ >= 0; }
    int NativeHandle() const { return fd_; }
    // The port the socket is bound to, 0 when it is not open.
    uint16_t LocalPort() const;

    // The number of bytes sent, or -1.
    int SendTo(uint32_t address, uint16_t port, const void* bytes, size_t length);
    // One datagram: its length, or -1 on error, when nothing is waiting, or when it did not
    // fit in `size` bytes (a truncated datagram is dropped, never half-read).
    int ReceiveFrom(void* buffer, size_t size, uint32_t& address, uint16_t& port);

    // One slot of ReceiveMany: the caller's buffer, and what was received into it.
    struct Datagram {
        void* buffer = nullptr;
        size_t size = 0;
        int length = -1; // -1: did not fit in `size` bytes, dropped as ReceiveFrom drops it
        uint32_t address = 0;
        uint16_t port = 0;
    };
    // The datagrams waiting, oldest first, up to `count` of them in one system call: how many
    // slots were filled (0 when nothing waits, on error, or when the socket is closed). Fewer
    // than `count` means the queue was empty at the time of the call.
    size_t ReceiveMany(Datagram* datagrams, size_t count);

    // The pending network events (EV_* bits) without waiting; error codes of the read event go
    // to `readError`. 0 when none are pending or the socket is closed.
    uint32_t PendingEvents(int& readError) const;
    // True when a datagram is waiting within `timeoutMs`.
    bool WaitReadable(uint32_t timeoutMs) const;

    // Asks the system to tell of datagrams a host refused (ICMP port unreachable), which an
    // unconnected socket otherwise never hears of; false where that cannot be had.
    bool ReportRefusals();
    // Takes one refusal told since ReportRefusals: the address and port the refused datagram
    // was sent to. False when none is waiting. Other errors waiting are dropped on the way.
    bool TakeRefusal(uint32_t& address, uint16_t& port);

private:
    int fd_ = -1;
    // Refusals are asked for on this socket: without, there is nothing to look for, and a
    // query's every wake-up would spend a call on finding so.
    bool refusalsReported_ = false;
};

// Waits up to `timeoutMs` until one of `sockets` has a datagram or a refusal waiting; the
// entries of `ready` (resized to match) tell which. False when none became ready.
bool WaitAnyReadable(const std::vector<const CUdpSocket*>& sockets, uint32_t timeoutMs,
                     std::vector<bool>& ready);

// 127.0.0.1 in network order.
uint32_t LoopbackAddress();

} // namespace quillory
