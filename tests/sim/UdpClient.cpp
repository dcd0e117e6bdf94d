#include "tests/sim/UdpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillory::test {

CUdpClient::CUdpClient() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof(local));
}

CUdpClient::~CUdpClient() {
    if (fd_ >= 0)
        close(fd_);
}

bool CUdpClient::Send(int port, const Bytes& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                  sizeof(to)) == ssize_t(bytes.size());
}

std::optional<Datagram> CUdpClient::Receive(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, int(timeout.count())) <= 0)
        return std::nullopt;
    Datagram d;
    d.bytes.resize(65536);
    sockaddr_in from{};
    socklen_t length = sizeof(from);
    ssize_t got = recvfrom(fd_, d.bytes.data(), d.bytes.size(), 0,
                           reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0)
        return std::nullopt;
    d.bytes.resize(size_t(got));
    d.fromPort = ntohs(from.sin_port);
    return d;
}

std::optional<Datagram> CUdpClient::Ask(int port, const Bytes& bytes) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        Send(port, bytes);
        if (auto reply = Receive(std::chrono::milliseconds(2000)))
            return reply;
    }
    return std::nullopt;
}

uint16_t U16At(const Bytes& b, size_t at) {
    return at + 2 <= b.size() ? uint16_t(b[at] | b[at + 1] << 8) : 0;
}

uint32_t U32At(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? uint32_t(U16At(b, at)) | uint32_t(U16At(b, at + 2)) << 16 : 0;
}

std::string TextAt(const Bytes& b, size_t at, size_t limit) {
    std::string text;
    for (size_t i = at; i < b.size() && i < at + limit && b[i] != 0; ++i)
        text.push_back(char(b[i]));
    return text;
}

} // namespace quillory::test
