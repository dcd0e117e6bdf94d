#include "common/FileHandle.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillory {

CFileHandle::~CFileHandle() {
    Close();
}

bool CFileHandle::Open(const std::string& path, int mode) {
    Close();
    switch (mode) {
    case MODE_READ:
        file_ = std::fopen(path.c_str(), "rb");
        break;
    case MODE_CREATE:
        file_ = std::fopen(path.c_str(), "wb");
        break;
    case MODE_READWRITE:
    case MODE_APPEND:
        file_ = std::fopen(path.c_str(), "r+b");
        if (!file_)
            file_ = std::fopen(path.c_str(), "w+b");
        break;
    default:
        return false;
    }
    if (!file_)
        return false;
    owns_ = true;
    if (mode == MODE_APPEND && Seek(0, FROM_END) < 0) {
        Close();
        return false;
    }
    return true;
}

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
