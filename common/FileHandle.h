#pragma once
// One open file of the operating system, closed with its owner.

#include "common/FileTime.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quillory {

class CFileHandle final {
public:
    enum Mode {
        MODE_READ = 0,      // an existing file, shared for reading
        MODE_CREATE = 1,    // create or truncate for writing
        MODE_READWRITE = 2, // open or create for reading and writing
        MODE_APPEND = 3,    // as MODE_READWRITE, then move to the end
    };
    enum Origin { FROM_START = 0, FROM_CURRENT = 1, FROM_END = 2 };

    CFileHandle() = default;
    ~CFileHandle();
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    // The writing modes never follow a symbolic link at the end of `path` and open nothing but a
    // regular file (a link planted under a temporary name would send the bytes elsewhere; a pipe
    // or a device would block or swallow them); OpenError then says why.
    bool Open(const std::string& path, int mode);
    // Why the last Open failed, e.g. "it is a symbolic link"; empty after a successful one.
    const std::string& OpenError() const { return openError_; }
    // Right after Open: every Write goes to the system at once instead of through a buffer, for
    // callers that write whole blocks (no copy, and no look-up of the best buffer size).
    bool WriteThrough();
    bool IsOpen() const { return file_ != nullptr; }
    // Returns the count written, or -1.
    int64_t Write(const void* buffer, size_t count);
    // Returns the count read (0 at the end), or -1.
    int64_t Read(void* buffer, size_t count);
    // Returns the new position, or -1.
    int64_t Seek(int64_t offset, int origin);
    // Pushes written data to the disk; false when the system refuses.
    bool Flush();
    // Hands data still buffered here to the system, without waiting for the disk; false when
    // the system refuses it (a full disk).
    bool WriteOut();
    // Sets the last-write time of the open file (its access time stays); data written so far
    // goes to the system first, so that closing does not change the time again.
    bool SetLastWriteTime(FileTime time);
    bool Close();

private:
    bool OpenForWriting(const std::string& path, int mode);

    std::FILE* file_ = nullptr;
    bool owns_ = false;
    std::string openError_;
};

// Reads a whole file; false when it cannot be opened or read. For files of the system that
// report no size (/proc); a file someone else may have put in place goes through
// ReadRegularFile.
bool ReadWholeFile(const std::string& path, std::string& bytes);

enum class ReadFileError {
    NONE,
    NOT_FOUND,
    CANNOT_OPEN,
    NOT_REGULAR, // a folder, a pipe, a device (a link to /dev/zero)
    TOO_LARGE,
    READ_FAILED,
};

// Reads a whole regular file of at most `maxBytes` bytes into `bytes`. Anything else is
// refused before a byte is read: a pipe must not block the program, and a device or a huge
// file must not take all its memory.
ReadFileError ReadRegularFile(const std::string& path, std::string& bytes, uint64_t maxBytes);
// What went wrong, to follow the file's name: "is not a regular file", ...
const char* ReadFileErrorText(ReadFileError error);

} // namespace quillory
