#pragma once
// Reply datagrams of a game server, written byte by byte from their published layout.

#include <cstdint>
#include <string>
#include <vector>

namespace quillory::test {

inline void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

inline void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

struct EnumFields {
    std::string description = "Dedicated server on Alpha";
    std::string mission = "Border Patrol";
    uint32_t version = 196;
    uint32_t required = 195;
    uint32_t state = 14;
    bool locked = true;
    uint32_t players = 5;
};

// The Sockets reply: its own length first, texts and numbers at fixed offsets.
inline std::string SocketsReply(size_t length, const EnumFields& f) {
    std::string b(length, '\0');
    Put16(b, 0, uint16_t(length));
    b.replace(28, f.description.size(), f.description);
    Put32(b, 284, f.version);
    Put32(b, 288, f.required);
    b.replace(292, f.mission.size(), f.mission);
    Put32(b, 332, f.state);
    b[340] = f.locked ? 0x01 : 0x00;
    if (length >= 348)
        Put32(b, 344, f.players);
    return b;
}

// The DirectPlay reply: 0xE2C4 at offset 2, the session name in UTF-16LE at 144.
inline std::string DirectPlayReply(const EnumFields& f, const std::u16string& name = u"DP Alpha") {
    std::string b(144 + 2 * (name.size() + 1), '\0');
    Put16(b, 2, 0xE2C4);
    b[16] = f.locked ? char(0x80) : 0x00;
    Put32(b, 24, f.players);
    Put32(b, 92, f.version);
    Put32(b, 96, f.required);
    b.replace(100, f.mission.size(), f.mission);
    Put32(b, 140, f.state);
    for (size_t i = 0; i < name.size(); ++i)
        Put16(b, 144 + 2 * i, uint16_t(name[i]));
    return b;
}

// One datagram of a status reply: its pairs, then its own queryid pair.
inline std::string StatusDatagram(const std::string& pairs, const std::string& id, int number) {
    return pairs + "\\queryid\\" + id + "." + std::to_string(number);
}

} // namespace quillory::test
