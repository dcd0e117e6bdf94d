#pragma once
// Reads the entries of one zip archive in archive order, one open entry at a time.

#include "common/Types.h"
#include "gantry/client/ZipInput.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillory {

// What the archive stores about one entry.
struct ZipEntryInfo {
    String path;              // as stored, with '/' separators
    bool pathTooLong = false; // the stored name did not fit kMaxEntryPath characters
    uint64_t size = 0;        // uncompressed
    uint64_t compressedSize = 0;
    uint32_t crc = 0;
    // The host that made the entry (high byte of "version made by"; 3 is Unix) and its
    // external attributes (on Unix, the file mode in the high 16 bits).
    uint8_t madeByHost = 0;
    uint32_t externalAttributes = 0;
    // Stored date and time, month counted from 1.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // Where the entry stands in the list of entries, to go back to it (see OpenEntry).
    uint64_t listOffset = 0;
    uint64_t number = 0;
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

    // Walks the entries once as GoToFirst, CurrentInfo and GoToNext do and keeps what it read,
    // so that every later pass over them reads nothing; false when there is no first entry.
    bool ListEntries();
    // The entries ListEntries kept, in archive order.
    const std::vector<ZipEntryInfo>& Entries() const { return entries_; }
    // Whether the walk stopped, after the kept entries, on one whose information could not be
    // read (a walk that simply ends is not damaged).
    bool ListDamaged() const { return listDamaged_; }
    // Makes a kept entry the current one and opens it for reading.
    bool OpenEntry(const ZipEntryInfo& entry);

    // Opens the current entry for reading; false when it cannot be opened.
    bool OpenCurrent();
    // Reads up to `count` bytes of the open entry: the count read, 0 at its end, -1 on error.
    int64_t ReadCurrent(void* buffer, size_t count);
    // Closes the open entry; false when the data read whole did not match its CRC-32.
    bool CloseCurrent();

private:
    void* zip_ = nullptr;
    bool entryOpen_ = false;
    CZipInput input_;
    std::vector<ZipEntryInfo> entries_;
    bool listDamaged_ = false;
};

} // namespace quillory
