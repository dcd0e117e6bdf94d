#include "platform/UdpSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/errqueue.h>
#endif

namespace quillory {

namespace {

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

} // namespace

CUdpSocket::~CUdpSocket() {
    Close();
}

bool CUdpSocket::Open(uint16_t port, uint32_t address) {
    Close();
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in sa = MakeAddress(address, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

int CUdpSocket::Close() {
    if (fd_ < 0)
        return 0;
    int result = ::close(fd_);
    fd_ = -1;
    refusalsReported_ = false;
    return result;
}

uint16_t CUdpSocket::LocalPort() const {
    if (fd_ < 0)
        return 0;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

int CUdpSocket::SendTo(uint32_t address, uint16_t port, const void* bytes, size_t length) {
    if (fd_ < 0)
        return -1;
    sockaddr_in sa = MakeAddress(address, port);
    ssize_t sent = ::sendto(fd_, bytes, length, MSG_NOSIGNAL,
                            reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int CUdpSocket::ReceiveFrom(void* buffer, size_t size, uint32_t& address, uint16_t& port) {
    if (fd_ < 0)
        return -1;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    // MSG_TRUNC makes the kernel report the datagram's real length, so an oversized one is seen.
    ssize_t got = ::recvfrom(fd_, buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &len);
    if (got < 0 || static_cast<size_t>(got) > size)
        return -1;
    address = sa.sin_addr.s_addr;
    port = ntohs(sa.sin_port);
    return static_cast<int>(got);
}

size_t CUdpSocket::ReceiveMany(Datagram* datagrams, size_t count) {
    constexpr size_t MOST = 16;
    count = std::min(count, MOST);
    if (fd_ < 0 || count == 0)
        return 0;
    mmsghdr headers[MOST];
    iovec parts[MOST];
    sockaddr_in senders[MOST];
    for (size_t i = 0; i < count; ++i) {
        parts[i] = {datagrams[i].buffer, datagrams[i].size};
        headers[i] = {};
        headers[i].msg_hdr.msg_name = &senders[i];
        headers[i].msg_hdr.msg_namelen = sizeof senders[i];
        headers[i].msg_hdr.msg_iov = &parts[i];
        headers[i].msg_hdr.msg_iovlen = 1;
    }
    // As in ReceiveFrom, MSG_TRUNC reports each datagram's real length, so oversized ones show.
    const int got =
        ::recvmmsg(fd_, headers, static_cast<unsigned>(count), MSG_TRUNC | MSG_DONTWAIT, nullptr);
    if (got <= 0)
        return 0;
    for (int i = 0; i < got; ++i) {
        Datagram& d = datagrams[i];
        d.length = headers[i].msg_len > d.size ? -1 : static_cast<int>(headers[i].msg_len);
        d.address = senders[i].sin_addr.s_addr;
        d.port = ntohs(senders[i].sin_port);
    }
    return static_cast<size_t>(got);
}

uint32_t CUdpSocket::PendingEvents(int& readError) const {
    readError = 0;
    if (fd_ < 0)
        return 0;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return 0;
    if (p.revents & POLLERR) {
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len);
        readError = error;
    }
    // Writability is not reported: a UDP socket is nearly always writable and would wake the
    // worker for nothing.
    return (p.revents & (POLLIN | POLLERR)) ? uint32_t(EV_READ) : 0u;
}

bool CUdpSocket::WaitReadable(uint32_t timeoutMs) const {
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    int timeout = timeoutMs > 0x7fffffffu ? -1 : static_cast<int>(timeoutMs);
    int r;
    do {
        r = ::poll(&p, 1, timeout);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & POLLIN);
}

bool CUdpSocket::ReportRefusals() {
#ifdef IP_RECVERR
    int on = 1;
    refusalsReported_ = fd_ >= 0 && ::setsockopt(fd_, IPPROTO_IP, IP_RECVERR, &on, sizeof on) == 0;
    return refusalsReported_;
#else
    return false;
#endif
}

bool CUdpSocket::TakeRefusal(uint32_t& address, uint16_t& port) {
#ifdef IP_RECVERR
    if (fd_ < 0 || !refusalsReported_)
        return false;
    for (;;) {
        sockaddr_in target{};
        char control[512];
        char data[1];
        iovec io{data, sizeof data};
        msghdr message{};
        message.msg_name = &target;
        message.msg_namelen = sizeof target;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(fd_, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            return false;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err error;
            std::memcpy(&error, CMSG_DATA(c), sizeof error);
            if (error.ee_origin == SO_EE_ORIGIN_ICMP && error.ee_errno == ECONNREFUSED) {
                address = target.sin_addr.s_addr;
                port = ntohs(target.sin_port);
                return true;
            }
        }
    }
#else
    (void)address;
    (void)port;
    return false;
#endif
}

bool WaitAnyReadable(const std::vector<const CUdpSocket*>& sockets, uint32_t timeoutMs,
                     std::vector<bool>& ready) {
    std::vector<pollfd> polled;
    polled.reserve(sockets.size());
    for (const CUdpSocket* socket : sockets)
        polled.push_back({socket->NativeHandle(), POLLIN, 0});
    const int timeout = timeoutMs > 0x7fffffffu ? -1 : static_cast<int>(timeoutMs);
    int r;
    do {
        r = ::poll(polled.data(), polled.size(), timeout);
    } while (r < 0 && errno == EINTR);
    ready.assign(sockets.size(), false);
    if (r <= 0)
        return false;
    for (size_t i = 0; i < polled.size(); ++i)
        ready[i] = (polled[i].revents & (POLLIN | POLLERR)) != 0;
    return true;
}

uint32_t LoopbackAddress() {
    return htonl(INADDR_LOOPBACK);
}

} // namespace quillory
