#pragma once
// A non-blocking IPv4 UDP socket bound to one address and port, closed with its owner.

#include <cstddef>
#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace quillory::sim {

class CSimSocket final {
public:
    CSimSocket() = default;
    ~CSimSocket();
    CSimSocket(const CSimSocket&) = delete;
    CSimSocket& operator=(const CSimSocket&) = delete;

    // Binds to `address`:`port`; false with the system's reason in `error`.
    bool Bind(const std::string& address, uint16_t port, std::string& error);
    int Fd() const { return fd_; }
    uint16_t Port() const { return port_; }

    // One datagram into `buffer`: its size, or -1 when none is waiting.
    ptrdiff_t Receive(uint8_t* buffer, size_t capacity, sockaddr_in& from);
    bool SendTo(const void* data, size_t size, const sockaddr_in& to);

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// "a.b.c.d:port" of an IPv4 socket address, for logs.
std::string EndpointText(const sockaddr_in& address);

} // namespace quillory::sim
