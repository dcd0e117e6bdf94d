#pragma once
// A server's Gantry description built byte by byte, for the tests of what is offered.

#include "common/Types.h"

#include <zlib.h>

#include <vector>

namespace quillory::test {

struct OfferedFile {
    String name; // inside "addons\"
    String content;
};

struct Offer {
    String name;
    std::vector<OfferedFile> files;
    uint32_t priority = 10; // "Required"
};

// A server description built byte by byte: magic, ten texts, then each package's record and the
// tree of its files, all under "addons\".
class DescriptionBytes {
public:
    DescriptionBytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data.push_back(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    DescriptionBytes& Text(const String& text) {
        data += text;
        data.push_back('\0');
        return *this;
    }
    String data;
};

inline uint32_t Crc(const String& content) {
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(content.data()), uInt(content.size())));
}

inline String Description(const std::vector<Offer>& offers) {
    DescriptionBytes b;
    b.U32(0xC0FFEE);
    for (int i = 0; i < 10; ++i)
        b.Text("text");
    b.U32(uint32_t(offers.size()));
    for (const Offer& offer : offers) {
        b.Text("http://host/" + offer.name + ".zip").U32(100).Text(offer.name).Text("http://home");
        b.Text("").Text("").U32(offer.priority);
        b.Text("addons\\");
        for (const OfferedFile& file : offer.files) {
            b.Text(file.name).U32(uint32_t(file.content.size())).U32(Crc(file.content));
        }
        b.data.push_back('\0'); // end of "addons\"
        b.data.push_back('\0'); // end of the package's tree
    }
    return b.data;
}

} // namespace quillory::test
