#pragma once
// Little-endian integers at a byte pointer, as the wire formats store them. The caller has
// checked that the bytes are there.

#include <cstdint>

namespace quillory {

inline uint16_t LoadU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

inline uint32_t LoadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace quillory
