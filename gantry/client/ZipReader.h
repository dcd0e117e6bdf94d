#pragma once
// Reads the entries of one zip archive in archive order, one open entry at a time.

#include "common/Types.h"

#include <cstddef>
#include <cstdint>

namespace quillory {

// What the archive stores about one entry.
struct ZipEntryInfo {
    String path;              // as stored, with '/' separators
    bool pathTooLong = false; // the stored name did not fit kMaxEntryPath characters
    uint64_t size = 0;        // uncompressed
    uint64_t compressedSize = 0;
    uint32_t crc = 0;
    // Stored date and time, month counted from 1.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class CZipReader final {
public:
    // Longest entry path the system handles (a Windows path buffer of 260 with its zero).
    static constexpr size_t kMaxEntryPath = 259;

    CZipReader() = default;
    ~CZipReader();
    CZipReader(const CZipReader&) = delete;
    CZipReader& operator=(const CZipReader&) = delete;

    bool Open(const String& path);
    void Close();
    bool IsOpen() const { return zip_ != nullptr; }

    // Moves to the first or the next entry; false at the end or on a damaged directory.
    bool GoToFirst();
    bool GoToNext();
    // Information of the current entry; false when it cannot be read.
    bool CurrentInfo(ZipEntryInfo& info);

    // Opens the current entry for reading; false when it cannot be opened.
    bool OpenCurrent();
    // Reads up to `count` bytes of the open entry: the count read, 0 at its end, -1 on error.
    int64_t ReadCurrent(void* buffer, size_t count);
    // Closes the open entry; false when the data read whole did not match its CRC-32.
    bool CloseCurrent();

private:
    void* zip_ = nullptr;
    bool entryOpen_ = false;
};

} // namespace quillory
