#include "watch/core/LiveServer.h"

#include "common/AsciiCase.h"
#include "net/BrowserReply.h"
#include "watch/core/WatchRules.h"

#include <climits>
#include <cstdlib>

namespace quillory {

namespace {

constexpr const char* TITLES[BC_COUNT] = {"Name",    "Players", "Ping",    "Map",
                                          "Mission", "Status",  "Version", "Locked",
                                          "Gantry",  "Game",    "Address"};

const ServerStatus* StatusOf(const LiveServer& s) {
    return s.Answered() ? &s.outcome->status : nullptr;
}

// The number a numeric column sorts by; servers that told nothing sort after every number.
int64_t NumberKey(const LiveServer& s, int column) {
    const ServerStatus* status = StatusOf(s);
    switch (column) {
    case BC_PLAYERS:
        return s.Players();
    case BC_PING:
        return status ? status->ping : INT64_MAX;
    case BC_VERSION:
        return status ? status->version : INT64_MAX;
    case BC_LOCKED:
        return status ? status->locked : INT64_MAX;
    default:
        return 0;
    }
}

bool Numeric(int column) {
    return column == BC_PLAYERS || column == BC_PING || column == BC_VERSION || column == BC_LOCKED;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Texts regardless of letter case, with runs of digits compared as numbers, so that
// "Server 9" sorts before "Server 10".
int CompareNatural(const String& a, const String& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            while (i < a.size() && a[i] == '0')
                ++i;
            while (j < b.size() && b[j] == '0')
                ++j;
            const size_t si = i, sj = j;
            while (i < a.size() && IsDigit(a[i]))
                ++i;
            while (j < b.size() && IsDigit(b[j]))
                ++j;
            if (i - si != j - sj)
                return i - si < j - sj ? -1 : 1;
            if (const int order = a.compare(si, i - si, b, sj, j - sj); order != 0)
                return order;
            continue;
        }
        const char ca = ToLowerAscii(a[i++]), cb = ToLowerAscii(b[j++]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return (i < a.size()) - (j < b.size());
}

// The address as a number, so that 127.0.0.9 sorts before 127.0.0.10.
uint64_t AddressKey(const PublicServer& p) {
    const auto* b = reinterpret_cast<const uint8_t*>(&p.address); // network order
    const uint32_t host = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    return uint64_t(host) << 16 | p.port;
}

// The ties of any column: name, then address and port.
bool TieLess(const LiveServer& a, const LiveServer& b) {
    const int byName = CompareNatural(a.listed.name, b.listed.name);
    if (byName != 0)
        return byName < 0;
    return AddressKey(a.listed) < AddressKey(b.listed);
}

} // namespace

int32_t LiveServer::Players() const {
    return Answered() ? outcome->status.players : listed.players;
}

const char* BrowserColumnTitle(int column) {
    return column >= 0 && column < BC_COUNT ? TITLES[column] : "";
}

String BrowserCellText(const LiveServer& s, int column) {
    const ServerStatus* status = StatusOf(s);
    switch (column) {
    case BC_NAME:
        return s.listed.name;
    case BC_PLAYERS:
        return status ? std::to_string(status->players) + "/" + status->maxPlayers
                      : std::to_string(s.listed.players);
    case BC_PING:
        return status ? std::to_string(status->ping) : String();
    case BC_MAP:
        return status ? status->map : String();
    case BC_MISSION:
        return status ? status->mission : String();
    case BC_STATUS:
        return status ? StatusText(status->state) : s.Silent() ? String(NO_REPLY_TEXT) : String();
    case BC_VERSION:
        return status ? std::to_string(status->version) : String();
    case BC_LOCKED:
        return status ? String(status->locked ? "Yes" : "No") : String();
    case BC_GANTRY:
        return "Yes"; // the browser server lists only servers that run a Gantry server
    case BC_GAME:
        return s.Uprising() ? "Ironvale Uprising" : "Ironvale";
    case BC_ADDRESS:
        return PublicServerAddress(s.listed);
    default:
        return String();
    }
}

bool BrowserLess(const LiveServer& a, const LiveServer& b, int column) {
    if (Numeric(column)) {
        const int64_t ka = NumberKey(a, column), kb = NumberKey(b, column);
        if (ka != kb)
            return ka < kb;
        return TieLess(a, b);
    }
    if (column == BC_ADDRESS)
        return AddressKey(a.listed) < AddressKey(b.listed);
    const String ta = BrowserCellText(a, column), tb = BrowserCellText(b, column);
    // An empty cell (not told yet) sorts after every text.
    if (ta.empty() != tb.empty())
        return tb.empty();
    const int order = CompareNatural(ta, tb);
    return order != 0 ? order < 0 : TieLess(a, b);
}

} // namespace quillory
