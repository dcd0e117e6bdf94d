#include "net/StatusReply.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

namespace quillory {

namespace {

constexpr char QUERYID_KEY[] = "queryid";
constexpr size_t QUERYID_LENGTH = 7;

// A token runs up to the next backslash, which is consumed; none follows: no token.
std::optional<String> NextToken(const String& text, size_t& pos, size_t maxToken) {
    size_t end = text.find('\\', pos);
    if (end == String::npos)
        return std::nullopt;
    String token = text.substr(pos, std::min(end - pos, maxToken));
    pos = end + 1;
    return token;
}

struct Pair {
    String key;
    String value;
};

std::optional<Pair> NextPair(const String& text, size_t& pos, size_t maxToken) {
    auto key = NextToken(text, pos, maxToken);
    if (!key)
        return std::nullopt;
    auto value = NextToken(text, pos, maxToken);
    if (!value)
        return std::nullopt;
    return Pair{std::move(*key), std::move(*value)};
}

void StoreField(const Pair& pair, ServerStatus& status) {
    if (pair.key == "gamename")
        status.gameType = pair.value;
    else if (pair.key == "mapname")
        status.map = pair.value;
    else if (pair.key == "maxplayers")
        status.maxPlayers =
            std::to_string(std::max<int64_t>(int64_t(LeadingInt(pair.value)) - 2, 0));
    else if (pair.key == "timeleft")
        status.timeLeft = pair.value;
    else if (pair.key == "param1")
        status.param1 = pair.value;
    else if (pair.key == "param2")
        status.param2 = pair.value;
    else if (pair.key == "platform")
        status.platform = pair.value;
}

// The three pairs after a player's name: one skipped, then score and deaths, by position.
bool ReadPlayerBlock(const String& text, size_t& pos, size_t maxToken, PlayerInfo& player) {
    auto skipped = NextPair(text, pos, maxToken);
    if (!skipped)
        return false;
    auto score = NextPair(text, pos, maxToken);
    if (!score)
        return false;
    auto deaths = NextPair(text, pos, maxToken);
    if (!deaths)
        return false;
    player.score = std::move(score->value);
    player.deaths = std::move(deaths->value);
    return true;
}

} // namespace

std::optional<QueryIdPair> FindQueryId(const String& datagram, uint32_t maxNumber) {
    size_t slash = datagram.rfind('\\');
    if (slash == String::npos || slash < QUERYID_LENGTH ||
        datagram.compare(slash - QUERYID_LENGTH, QUERYID_LENGTH, QUERYID_KEY) != 0)
        return std::nullopt;
    String idAndNumber = datagram.substr(slash + 1);
    size_t dot = idAndNumber.rfind('.');
    if (dot == String::npos)
        return std::nullopt;
    const char* first = idAndNumber.data() + dot + 1;
    const char* last = idAndNumber.data() + idAndNumber.size();
    uint32_t number = 0;
    auto [end, error] = std::from_chars(first, last, number);
    if (first == last || error != std::errc() || end != last || number > maxNumber)
        return std::nullopt;
    QueryIdPair result;
    result.id = idAndNumber.substr(0, dot);
    result.number = number;
    size_t keyStart = slash - QUERYID_LENGTH;
    result.pairStart =
        (keyStart > 0 && datagram[keyStart - 1] == '\\') ? keyStart - 1 : String::npos;
    return result;
}

String WithoutQueryId(const String& datagram) {
    auto pair = FindQueryId(datagram, std::numeric_limits<uint32_t>::max());
    if (!pair || pair->pairStart == String::npos)
        return datagram;
    return datagram.substr(0, pair->pairStart);
}

void ParseStatusText(const String& joined, ServerStatus& status, size_t maxToken) {
    size_t pos = 1;
    if (joined.empty())
        return;
    for (;;) {
        auto pair = NextPair(joined, pos, maxToken);
        if (!pair || pair->key == "final")
            return;
        if (pair->key.compare(0, 7, "player_") != 0) {
            StoreField(*pair, status);
            continue;
        }
        auto player = std::make_shared<PlayerInfo>();
        player->name = std::move(pair->value);
        if (!ReadPlayerBlock(joined, pos, maxToken, *player))
            return;
        status.playerList.push_back(std::move(player));
    }
}

int32_t LeadingInt(const String& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t(1) << 32);
    value = negative ? -value : value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace quillory
