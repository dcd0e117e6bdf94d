#include "tools/sim/SimSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillory::sim {

CSimSocket::~CSimSocket() {
    if (fd_ >= 0)
        close(fd_);
}

bool CSimSocket::Bind(const std::string& address, uint16_t port, std::string& error) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        error = "not an IPv4 address";
        return false;
    }
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        error = std::strerror(errno);
        return false;
    }
    port_ = port;
    return true;
}

ptrdiff_t CSimSocket::Receive(uint8_t* buffer, size_t capacity, sockaddr_in& from) {
    socklen_t length = sizeof(from);
    ssize_t got = recvfrom(fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&from), &length);
    return got < 0 ? -1 : got;
}

bool CSimSocket::SendTo(const void* data, size_t size, const sockaddr_in& to) {
    return sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) ==
           ssize_t(size);
}

std::string EndpointText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace quillory::sim
