#pragma once
// One public Gantry server as the browser server lists it.

#include "common/Types.h"

#include <cstdint>

namespace quillory {

// Bit 0 of the flags: the server runs Ironvale Uprising; clear, the base game.
constexpr uint8_t PSF_UPRISING = 1;

struct PublicServer {
    String name;          // 8-bit text as sent
    uint32_t address = 0; // IPv4, network order
    uint16_t port = 0;
    uint8_t players = 0;
    uint8_t flags = 0;
};

} // namespace quillory
