#include "common/FileHandle.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

namespace quillory {

CFileHandle::~CFileHandle() {
    Close();
}

namespace {

#ifndef _WIN32
// Why `path` cannot be written: what lies there when it is no regular file, else the system's
// reason for `error`.
std::string RefusalOf(const std::string& path, int error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return "it is a symbolic link";
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return "it is not a regular file";
    return std::strerror(error);
}
#endif

} // namespace

bool CFileHandle::Open(const std::string& path, int mode) {
    Close();
    openError_.clear();
    if (mode == MODE_READ)
        file_ = std::fopen(path.c_str(), "rb");
    else if (mode == MODE_CREATE || mode == MODE_READWRITE || mode == MODE_APPEND)
        return OpenForWriting(path, mode);
    else
        return false;
    if (!file_) {
        openError_ = std::strerror(errno);
        return false;
    }
    owns_ = true;
    return true;
}

#ifdef _WIN32
bool CFileHandle::OpenForWriting(const std::string& path, int mode) {
    if (mode == MODE_CREATE) {
        file_ = std::fopen(path.c_str(), "wb");
    } else {
        file_ = std::fopen(path.c_str(), "r+b");
        if (!file_)
            file_ = std::fopen(path.c_str(), "w+b");
    }
    if (!file_) {
        openError_ = std::strerror(errno);
        return false;
    }
    owns_ = true;
    if (mode == MODE_APPEND && Seek(0, FROM_END) < 0) {
        Close();
        return false;
    }
    return true;
}
#else
bool CFileHandle::OpenForWriting(const std::string& path, int mode) {
    // Not blocking on a pipe while it is opened; nothing is truncated before it is known to be a
    // regular file.
    const int access = mode == MODE_CREATE ? O_WRONLY : O_RDWR;
    const int fd =
        ::open(path.c_str(), access | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        openError_ = RefusalOf(path, errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok)
        openError_ = "it is not a regular file";
    const int flags = ok ? ::fcntl(fd, F_GETFL) : -1;
    ok = ok && flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
    ok = ok && (mode != MODE_CREATE || ::ftruncate(fd, 0) == 0);
    ok = ok && (mode != MODE_APPEND || ::lseek(fd, 0, SEEK_END) >= 0);
    if (ok)
        file_ = ::fdopen(fd, mode == MODE_CREATE ? "wb" : "r+b");
    if (!file_) {
        if (openError_.empty())
            openError_ = std::strerror(errno);
        ::close(fd);
        return false;
    }
    owns_ = true;
    return true;
}
#endif

bool CFileHandle::WriteThrough() {
    return file_ && std::setvbuf(file_, nullptr, _IONBF, 0) == 0;
}

int64_t CFileHandle::Write(const void* buffer, size_t count) {
    if (!file_)
        return -1;
    size_t n = std::fwrite(buffer, 1, count, file_);
    return n == count ? static_cast<int64_t>(n) : -1;
}

int64_t CFileHandle::Read(void* buffer, size_t count) {
    if (!file_)
        return -1;
    size_t n = std::fread(buffer, 1, count, file_);
    if (n < count && std::ferror(file_))
        return -1;
    return static_cast<int64_t>(n);
}

int64_t CFileHandle::Seek(int64_t offset, int origin) {
    if (!file_)
        return -1;
    int whence = origin == FROM_START ? SEEK_SET : origin == FROM_CURRENT ? SEEK_CUR : SEEK_END;
    if (origin < FROM_START || origin > FROM_END)
        return -1;
#ifdef _WIN32
    if (_fseeki64(file_, offset, whence) != 0)
        return -1;
    return _ftelli64(file_);
#else
    if (fseeko(file_, static_cast<off_t>(offset), whence) != 0)
        return -1;
    return static_cast<int64_t>(ftello(file_));
#endif
}

bool CFileHandle::Flush() {
    if (!file_ || std::fflush(file_) != 0)
        return false;
#ifdef _WIN32
    return _commit(_fileno(file_)) == 0;
#else
    return fsync(fileno(file_)) == 0;
#endif
}

bool CFileHandle::WriteOut() {
    return file_ && std::fflush(file_) == 0;
}

bool CFileHandle::SetLastWriteTime(FileTime time) {
    if (!WriteOut())
        return false;
#ifdef _WIN32
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
    FILETIME lastWrite{FileTimeLow(time), FileTimeHigh(time)};
    return SetFileTime(handle, nullptr, nullptr, &lastWrite) != 0;
#else
    int64_t seconds = 0, nanoseconds = 0;
    UnixFromFileTime(time, seconds, nanoseconds);
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    return ::futimens(fileno(file_), times) == 0;
#endif
}

bool CFileHandle::Close() {
    if (!file_)
        return true;
    bool ok = true;
    if (owns_)
        ok = std::fclose(file_) == 0;
    file_ = nullptr;
    owns_ = false;
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    CFileHandle file;
    if (!file.Open(path, CFileHandle::MODE_READ))
        return false;
    bytes.clear();
    char block[65536];
    for (;;) {
        int64_t n = file.Read(block, sizeof block);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.append(block, static_cast<size_t>(n));
    }
}

} // namespace quillory
