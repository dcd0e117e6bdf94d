#pragma once
// The archive file as the zip reader reads it: a position and reads served from a few windows of
// the file kept in memory. The zip library seeks and reads a few bytes at a time, going back and
// forth between the list of entries at the end of the archive and the entries' data; straight on
// the file that cost a system call or two for every header it read.

#include "common/FileHandle.h"
#include "common/Types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillory {

class CZipInput final {
public:
    // Bytes read from the file at once into one window.
    static constexpr size_t kWindowSize = 256 * 1024;

    CZipInput() = default;
    CZipInput(const CZipInput&) = delete;
    CZipInput& operator=(const CZipInput&) = delete;

    // Opens the file for reading at position 0; false when it cannot be opened or measured.
    bool Open(const String& path);
    bool Close();

    // Reads up to `count` bytes at the position and moves past them: the count read, which is
    // short only at the end of the file or on a read error.
    size_t Read(void* buffer, size_t count);
    // Moves the position (origin as CFileHandle's); false, unmoved, before the start or beyond
    // what a position can hold.
    bool Seek(int64_t offset, int origin);
    uint64_t Tell() const { return position_; }
    // Whether a read of the file failed.
    bool Failed() const { return failed_; }

private:
    struct Window {
        uint64_t start = 0;
        std::vector<char> bytes; // empty: nothing read into it yet
        uint64_t lastUse = 0;
    };

    const Window* WindowAt(uint64_t position);
    bool ReadFile(uint64_t position, char* buffer, size_t count, size_t& got);

    CFileHandle file_;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    bool failed_ = false;
    // Two windows: one follows the list of entries, the other the entries' data.
    std::array<Window, 2> windows_;
    uint64_t uses_ = 0;
    size_t lastWindow_ = 0;
};

} // namespace quillory
