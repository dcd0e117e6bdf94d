#pragma once
// Builds database-file bytes by hand from the layout, independently of the code under test.

#include <cstdint>
#include <string>
#include <zlib.h>

namespace quillory::test {

class Bytes {
public:
    Bytes& U8(uint8_t v) { return Put(v, 1); }
    Bytes& U16(uint16_t v) { return Put(v, 2); }
    Bytes& U32(uint32_t v) { return Put(v, 4); }
    Bytes& U64(uint64_t v) { return Put(v, 8); }
    Bytes& Text(const std::string& t) {
        data += t;
        data += '\0';
        return *this;
    }
    Bytes& Raw(const std::string& t) {
        data += t;
        return *this;
    }
    std::string data;

private:
    Bytes& Put(uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            data += static_cast<char>((v >> (8 * i)) & 0xFF);
        return *this;
    }
};

inline std::string Deflate(const std::string& plain) {
    uLongf length = compressBound(static_cast<uLong>(plain.size()));
    std::string packed(length, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &length,
             reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()));
    packed.resize(length);
    return packed;
}

inline std::string Inflate(const std::string& packed, size_t length) {
    std::string plain(length, '\0');
    uLongf got = static_cast<uLongf>(length);
    if (uncompress(reinterpret_cast<Bytef*>(plain.data()), &got,
                   reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK)
        return "(does not inflate)";
    plain.resize(got);
    return plain;
}

// Version 1, the payload length, the compressed payload.
inline std::string DatabaseFile(const std::string& payload) {
    return Bytes().U32(1).U32(static_cast<uint32_t>(payload.size())).data + Deflate(payload);
}

} // namespace quillory::test
