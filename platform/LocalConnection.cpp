#include "platform/LocalConnection.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace quillory::platform {

CLocalConnection::~CLocalConnection() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool CLocalConnection::Connect(const String& path, int timeoutMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd_ >= 0 || path.empty() || path.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A socket file without a listener refuses at once; a listener whose queue is full makes
    // the connect wait, for as long as the send timeout allows.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool CLocalConnection::SendAll(const char* data, size_t size, int timeoutMs) {
    while (size > 0) {
        pollfd writable{fd_, POLLOUT, 0};
        if (::poll(&writable, 1, timeoutMs) <= 0)
            return false;
        const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return false;
        }
        data += sent;
        size -= size_t(sent);
    }
    return true;
}

CLocalConnection::ReadState CLocalConnection::Read(char* buffer, size_t capacity, size_t& got) {
    got = 0;
    const ssize_t read = ::recv(fd_, buffer, capacity, MSG_DONTWAIT);
    if (read > 0) {
        got = size_t(read);
        return ReadState::DATA;
    }
    if (read < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return ReadState::NOTHING_YET;
    return ReadState::CLOSED;
}

} // namespace quillory::platform
