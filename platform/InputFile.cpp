#include "platform/InputFile.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::platform {

namespace {

int OpenForReading(const std::string& path) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

CInputFile::~CInputFile() {
    Close();
}

CInputFile::OpenResult CInputFile::Open(std::string_view path) {
    Close();
    const std::string native = NativePath(path);
    fd_ = OpenForReading(native);
    if (fd_ < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        const std::string resolved = ResolveCase(native);
        if (resolved != native)
            fd_ = OpenForReading(resolved);
    }
    if (fd_ >= 0)
        return OPEN_OK;
    return errno == ENOENT || errno == ENOTDIR ? OPEN_NOT_FOUND : OPEN_FAILED;
}

CInputFile::OpenResult CInputFile::Open(const WalkEntry& entry) {
    Close();
    if (entry.folderHandle < 0)
        return OPEN_FAILED;
    do
        fd_ = ::openat(entry.folderHandle, entry.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd_ < 0 && errno == EINTR);
    if (fd_ >= 0)
        return OPEN_OK;
    return errno == ENOENT || errno == ENOTDIR ? OPEN_NOT_FOUND : OPEN_FAILED;
}

bool CInputFile::Describe(FileFacts& facts) const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    facts.size = static_cast<uint64_t>(st.st_size);
    facts.modified = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return true;
}

int64_t CInputFile::Read(void* buffer, size_t count) {
    if (fd_ < 0)
        return -1;
    ssize_t n;
    do
        n = ::read(fd_, buffer, count);
    while (n < 0 && errno == EINTR);
    return n;
}

void CInputFile::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace quillory::platform
