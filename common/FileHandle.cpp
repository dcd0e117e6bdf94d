#include "common/FileHandle.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
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

namespace {

#ifdef _WIN32
ReadFileError ReadOpenRegularFile(const std::string& path, std::string& bytes, uint64_t maxBytes) {
    struct _stat64 facts {};
    if (_stat64(path.c_str(), &facts) != 0)
        return errno == ENOENT ? ReadFileError::NOT_FOUND : ReadFileError::CANNOT_OPEN;
    if ((facts.st_mode & _S_IFMT) != _S_IFREG)
        return ReadFileError::NOT_REGULAR;
    if (uint64_t(facts.st_size) > maxBytes)
        return ReadFileError::TOO_LARGE;
    CFileHandle file;
    if (!file.Open(path, CFileHandle::MODE_READ))
        return ReadFileError::CANNOT_OPEN;
    bytes.reserve(size_t(facts.st_size));
    char block[65536];
    for (;;) {
        const int64_t n = file.Read(block, sizeof block);
        if (n < 0)
            return ReadFileError::READ_FAILED;
        if (n == 0)
            return ReadFileError::NONE;
        if (bytes.size() + uint64_t(n) > maxBytes)
            return ReadFileError::TOO_LARGE;
        bytes.append(block, size_t(n));
    }
}
#else
class CDescriptor final {
public:
    explicit CDescriptor(int fd) : fd_(fd) {}
    ~CDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

ReadFileError ReadOpenRegularFile(const std::string& path, std::string& bytes, uint64_t maxBytes) {
    // Without O_NONBLOCK opening a pipe waits for a writer that may never come.
    const CDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0)
        return errno == ENOENT ? ReadFileError::NOT_FOUND : ReadFileError::CANNOT_OPEN;
    struct stat facts {};
    if (::fstat(fd.Get(), &facts) != 0)
        return ReadFileError::READ_FAILED;
    if (!S_ISREG(facts.st_mode))
        return ReadFileError::NOT_REGULAR;
    if (facts.st_size < 0 || uint64_t(facts.st_size) > maxBytes)
        return ReadFileError::TOO_LARGE;
    bytes.reserve(size_t(facts.st_size));
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ReadFileError::READ_FAILED;
        if (n == 0)
            return ReadFileError::NONE;
        // The file may grow while it is read.
        if (bytes.size() + uint64_t(n) > maxBytes)
            return ReadFileError::TOO_LARGE;
        bytes.append(block, size_t(n));
    }
}
#endif

} // namespace

ReadFileError ReadRegularFile(const std::string& path, std::string& bytes, uint64_t maxBytes) {
    bytes.clear();
    const ReadFileError error = ReadOpenRegularFile(path, bytes, maxBytes);
    if (error != ReadFileError::NONE)
        bytes.clear();
    return error;
}

const char* ReadFileErrorText(ReadFileError error) {
    switch (error) {
    case ReadFileError::NONE:
        return "was read";
    case ReadFileError::NOT_FOUND:
        return "does not exist";
    case ReadFileError::CANNOT_OPEN:
        return "cannot be opened";
    case ReadFileError::NOT_REGULAR:
        return "is not a regular file";
    case ReadFileError::TOO_LARGE:
        return "is too large";
    case ReadFileError::READ_FAILED:
        return "could not be read";
    }
    return "could not be read";
}

} // namespace quillory
