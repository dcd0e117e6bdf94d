#include "tools/sim/StatusReplies.h"

#include <algorithm>
#include <cstring>

namespace quillory::sim {

namespace {

constexpr uint8_t kSocketsProbe[32] = {
    0x20, 0x00, 0x01, 0x08, 0x1B, 0xC9, 0xC2, 0xE9, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAE, 0x91, 0xE1, 0xEE, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kDirectPlayProbe[21] = {0x00, 0x02, 0xC4, 0xE2, 0x01, 0x60, 0x98,
                                          0x24, 0xF7, 0xBE, 0xD0, 0xD2, 0x11, 0x95,
                                          0xEA, 0x00, 0xA0, 0xC9, 0xA5, 0x7F, 0x0B};
constexpr char kStatusQuery[] = "\\status\\";

// Sockets reply layout.
constexpr size_t kSocketsDescription = 28, kSocketsVersion = 284, kSocketsRequired = 288;
constexpr size_t kSocketsMission = 292, kSocketsState = 332, kSocketsFlags = 340;
constexpr size_t kSocketsPlayers = 344, kSocketsSize = 348;

// DirectPlay reply layout.
constexpr uint16_t kDirectPlayMark = 0xE2C4;
constexpr size_t kDpMark = 2, kDpFlags = 16, kDpPlayers = 24, kDpVersion = 92;
constexpr size_t kDpRequired = 96, kDpMission = 100, kDpState = 140, kDpName = 144;
constexpr uint8_t kDpLockedBit = 0x80;
// The session counts two more players than are logged on.
constexpr uint32_t kDpExtraPlayers = 2;

// The status reply's maxplayers counts two more than can play.
constexpr int kExtraMaxPlayers = 2;
// Largest status datagram sent; clients receive into 8192 bytes.
constexpr size_t kMaxStatusDatagram = 8000;

void PutU16(Bytes& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void PutU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

// Copies the text and leaves the zero byte after it (the buffer starts zeroed).
void PutText(Bytes& b, size_t at, const std::string& text) {
    std::memcpy(b.data() + at, text.data(), text.size());
}

std::string Pair(const std::string& key, const std::string& value) {
    return "\\" + key + "\\" + value;
}

// Decodes one UTF-8 sequence at `i`; 0 when the bytes there are not one.
size_t DecodeUtf8(const std::string& s, size_t i, char32_t& out) {
    const auto c = uint8_t(s[i]);
    size_t length = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || i + length > s.size())
        return 0;
    char32_t value = length == 1 ? c : c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = uint8_t(s[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    out = value;
    return value > 0x10FFFF ? 0 : length;
}

} // namespace

bool IsSocketsProbe(const uint8_t* data, size_t size) {
    return size == sizeof(kSocketsProbe) && std::memcmp(data, kSocketsProbe, size) == 0;
}

bool IsDirectPlayProbe(const uint8_t* data, size_t size) {
    return size == sizeof(kDirectPlayProbe) && std::memcmp(data, kDirectPlayProbe, size) == 0;
}

bool IsStatusQuery(const uint8_t* data, size_t size) {
    return size == sizeof(kStatusQuery) - 1 && std::memcmp(data, kStatusQuery, size) == 0;
}

Bytes BuildSocketsReply(const SimOptions& options, const CRoundModel& round) {
    Bytes reply(kSocketsSize, 0);
    PutU16(reply, 0, uint16_t(reply.size()));
    PutText(reply, kSocketsDescription, options.name);
    PutU32(reply, kSocketsVersion, options.version);
    PutU32(reply, kSocketsRequired, options.requiredVersion);
    PutText(reply, kSocketsMission, options.mission);
    PutU32(reply, kSocketsState, uint32_t(round.State()));
    reply[kSocketsFlags] = options.locked ? 1 : 0;
    PutU32(reply, kSocketsPlayers, uint32_t(round.Players().size()));
    return reply;
}

Bytes BuildDirectPlayReply(const SimOptions& options, const CRoundModel& round) {
    const std::u16string name = Utf16FromText(options.name);
    // The first word stays 0, so the reply is never taken for a Sockets reply.
    Bytes reply(kDpName + 2 * (name.size() + 1), 0);
    PutU16(reply, kDpMark, kDirectPlayMark);
    reply[kDpFlags] = options.locked ? kDpLockedBit : 0;
    PutU32(reply, kDpPlayers, uint32_t(round.Players().size()) + kDpExtraPlayers);
    PutU32(reply, kDpVersion, options.version);
    PutU32(reply, kDpRequired, options.requiredVersion);
    PutText(reply, kDpMission, options.mission);
    PutU32(reply, kDpState, uint32_t(round.State()));
    for (size_t i = 0; i < name.size(); ++i)
        PutU16(reply, kDpName + 2 * i, uint16_t(name[i]));
    return reply;
}

std::vector<std::string> StatusPairs(const SimOptions& options, const CRoundModel& round) {
    const auto& players = round.Players();
    std::vector<std::string> pairs = {
        Pair("gamename", options.gameType),
        Pair("gamever", std::to_string(options.version)),
        Pair("hostname", options.name),
        Pair("mapname", options.map),
        Pair("gametype", "coop"),
        Pair("numplayers", std::to_string(players.size())),
        Pair("maxplayers", std::to_string(options.maxPlayers + kExtraMaxPlayers)),
        Pair("timeleft", round.TimeLeft()),
        Pair("param1", options.param1),
        Pair("param2", options.param2),
        Pair("platform", options.platform),
        Pair("password", options.locked ? "1" : "0"),
    };
    for (size_t i = 0; i < players.size(); ++i) {
        const std::string n = std::to_string(i);
        pairs.push_back(Pair("player_" + n, players[i].name));
        pairs.push_back(Pair("team_" + n, "West"));
        pairs.push_back(Pair("score_" + n, std::to_string(players[i].score)));
        pairs.push_back(Pair("deaths_" + n, std::to_string(players[i].deaths)));
    }
    pairs.push_back(Pair("final", ""));
    return pairs;
}

std::vector<std::string> SplitStatusReply(const std::vector<std::string>& pairs, uint32_t queryId,
                                          int fragments) {
    size_t count = std::clamp<size_t>(size_t(std::max(fragments, 1)), 1, pairs.size());
    for (;;) {
        std::vector<std::string> datagrams;
        bool fits = true;
        for (size_t n = 0; n < count; ++n) {
            std::string text;
            for (size_t i = n * pairs.size() / count; i < (n + 1) * pairs.size() / count; ++i)
                text += pairs[i];
            text += Pair("queryid", std::to_string(queryId) + "." + std::to_string(n));
            fits = fits && text.size() <= kMaxStatusDatagram;
            datagrams.push_back(std::move(text));
        }
        if (fits || count == pairs.size())
            return datagrams;
        ++count;
    }
}

std::u16string Utf16FromText(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        size_t used = DecodeUtf8(text, i, c);
        if (used == 0) {
            c = uint8_t(text[i]);
            used = 1;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
        i += used;
    }
    return out;
}

} // namespace quillory::sim
