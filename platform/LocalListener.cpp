#include "platform/LocalListener.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quillory::platform {

CLocalListener::~CLocalListener() {
    if (fd_ < 0)
        return;
    ::close(fd_);
    ::unlink(path_.c_str());
}

bool CLocalListener::Listen(const String& path, String& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        error = "the socket path is empty or too long";
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // The folder is already closed to others; the file is closed too before anyone is heard.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, 8) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

int CLocalListener::Accept() {
    if (fd_ < 0)
        return -1;
    return ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

void CLocalListener::RemoveStale(const String& path) {
    struct stat info {};
    // Only a socket: whatever else sits at the name is not ours to delete.
    if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(path.c_str());
}

} // namespace quillory::platform
