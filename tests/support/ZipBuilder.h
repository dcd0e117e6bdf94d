#pragma once
// Builds real zip archives for tests with minizip's writer, independent of the reader under test.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillory::test {

struct ZipDate {
    int year = 2004, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class ZipBuilder {
public:
    // A file entry; `compress` false stores it.
    ZipBuilder& Add(std::string name, std::string data, std::optional<ZipDate> date = {},
                    bool compress = true);
    // A folder entry (the name gets a trailing '/' when it has none).
    ZipBuilder& AddFolder(std::string name);
    // A stored entry whose recorded CRC-32 is `claimedCrc` whatever the data is.
    ZipBuilder& AddWithCrc(std::string name, std::string data, uint32_t claimedCrc);

    // An entry made on Unix with the file mode `mode` (type and permissions), as zip stores a
    // link (S_IFLNK, its data the target) or an executable.
    ZipBuilder& AddUnix(std::string name, std::string data, uint32_t mode);

    bool Write(const std::string& path) const;

private:
    struct Entry {
        std::string name;
        std::string data;
        ZipDate date;
        bool compress = true;
        std::optional<uint32_t> claimedCrc;
        std::optional<uint32_t> unixMode;
    };
    std::vector<Entry> entries_;
};

// CRC-32 of bytes, as zlib computes it.
uint32_t Crc32Of(const std::string& data);

} // namespace quillory::test
