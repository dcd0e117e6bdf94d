#pragma once
// One open file of the operating system, closed with its owner.

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

    bool Open(const std::string& path, int mode);
    bool IsOpen() const { return file_ != nullptr; }
    // Returns the count written, or -1.
    int64_t Write(const void* buffer, size_t count);
    // Returns the count read (0 at the end), or -1.
    int64_t Read(void* buffer, size_t count);
    // Returns the new position, or -1.
    int64_t Seek(int64_t offset, int origin);
    // Pushes written data to the disk; false when the system refuses.
    bool Flush();
    bool Close();

private:
    std::FILE* file_ = nullptr;
    bool owns_ = false;
};

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

} // namespace quillory
