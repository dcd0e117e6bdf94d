#include "net/EnumerationReply.h"

#include "common/LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillory {

namespace {

// Fixed offsets of the enumeration replies; a reply too short to hold them is ignored.
constexpr size_t SOCKETS_DESCRIPTION = 28, SOCKETS_VERSION = 284, SOCKETS_REQUIRED = 288,
                 SOCKETS_MISSION = 292, SOCKETS_STATE = 332, SOCKETS_LOCKED = 340,
                 SOCKETS_PLAYERS = 344, SOCKETS_MIN_LENGTH = SOCKETS_LOCKED + 1;
constexpr size_t DP_LOCKED = 16, DP_PLAYERS = 24, DP_VERSION = 92, DP_REQUIRED = 96,
                 DP_MISSION = 100, DP_STATE = 140, DP_DESCRIPTION = 144,
                 DP_MIN_LENGTH = DP_DESCRIPTION;
constexpr size_t MAX_DESCRIPTION = 255;

// A zero-terminated text inside [begin, end) of the datagram: it never runs past its field.
String FieldText(const uint8_t* data, size_t length, size_t begin, size_t end) {
    end = std::min(end, length);
    if (begin >= end)
        return String();
    const char* text = reinterpret_cast<const char*>(data + begin);
    return String(text, strnlen(text, end - begin));
}

// UTF-16LE up to its zero or the datagram's end, to the 8-bit code page: characters that
// it cannot hold become "?", as the system's conversion does.
String Utf16ToCodePage(const uint8_t* data, size_t length, size_t begin) {
    String out;
    for (size_t i = begin; i + 1 < length && out.size() < MAX_DESCRIPTION; i += 2) {
        uint16_t unit = LoadU16(data + i);
        if (unit == 0)
            break;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            continue; // second half of a pair: its "?" is already out
        out += unit < 0x100 ? char(unit) : '?';
    }
    return out;
}

int32_t AsInt(uint32_t value) {
    return static_cast<int32_t>(value);
}

} // namespace

bool ParseSocketsReply(const uint8_t* data, size_t length, ServerStatus& s) {
    if (length < SOCKETS_MIN_LENGTH)
        return false;
    s.description = FieldText(data, length, SOCKETS_DESCRIPTION, SOCKETS_VERSION);
    s.version = AsInt(LoadU32(data + SOCKETS_VERSION));
    s.requiredVersion = AsInt(LoadU32(data + SOCKETS_REQUIRED));
    s.mission = FieldText(data, length, SOCKETS_MISSION, SOCKETS_STATE);
    s.state = AsInt(LoadU32(data + SOCKETS_STATE));
    s.locked = (data[SOCKETS_LOCKED] & 1) != 0;
    // Only a reply that really holds the count changes it.
    if (length >= SOCKETS_PLAYERS + 4)
        s.players = AsInt(LoadU32(data + SOCKETS_PLAYERS));
    return true;
}

bool ParseDirectPlayReply(const uint8_t* data, size_t length, ServerStatus& s) {
    if (length < DP_MIN_LENGTH)
        return false;
    s.locked = (data[DP_LOCKED] & 0x80) != 0;
    // The session counts two members that are not players; never show fewer than none.
    int64_t players = int64_t(LoadU32(data + DP_PLAYERS)) - 2;
    s.players =
        static_cast<int32_t>(std::clamp<int64_t>(players, 0, std::numeric_limits<int32_t>::max()));
    s.version = AsInt(LoadU32(data + DP_VERSION));
    s.requiredVersion = AsInt(LoadU32(data + DP_REQUIRED));
    s.mission = FieldText(data, length, DP_MISSION, DP_STATE);
    s.state = AsInt(LoadU32(data + DP_STATE));
    s.description = Utf16ToCodePage(data, length, DP_DESCRIPTION);
    return true;
}

} // namespace quillory
