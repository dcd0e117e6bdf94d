#include "watch/core/ServersTableRow.h"

#include "watch/core/WatchRules.h"

#include <charconv>

namespace quillory {

namespace {

String ResultText(QueryResult result) {
    switch (result) {
    case QueryResult::REPLIED:
        break;
    case QueryResult::NO_REPLY:
    case QueryResult::PORT_UNREACHABLE:
        return NO_REPLY_TEXT;
    case QueryResult::BAD_ADDRESS:
        return TABLE_BAD_ADDRESS_TEXT;
    case QueryResult::NO_SOCKET:
        return NO_SOCKET_TEXT;
    }
    return String();
}

String Joined(const std::vector<String>& names) {
    String text;
    for (const String& name : names) {
        if (!text.empty())
            text += ", ";
        text += name;
    }
    return text;
}

} // namespace

ServersTableRow AskingServersTableRow(const String& name) {
    ServersTableRow row;
    row.name = name;
    row.status = ASKING_TEXT;
    return row;
}

ServersTableRow MakeServersTableRow(const String& name, QueryResult result,
                                    const ServerStatus& status, const String& gantry,
                                    const std::vector<String>& friends) {
    ServersTableRow row;
    row.name = name;
    row.gantry = gantry;
    row.friends = Joined(friends);
    if (result != QueryResult::REPLIED) {
        row.status = ResultText(result);
        return row;
    }
    row.replied = true;
    row.status = StatusText(status.state);
    row.players = LoggedOnText(status.players, status.maxPlayers);
    row.map = status.map;
    row.mission = status.mission;
    row.ping = std::to_string(status.ping);
    row.locked = LockedText(status.locked);
    return row;
}

int ParsedMaxPlayers(const String& maxPlayers) {
    int value = 0;
    const char* end = maxPlayers.data() + maxPlayers.size();
    const auto [ptr, error] = std::from_chars(maxPlayers.data(), end, value);
    if (error != std::errc() || ptr != end || value < 0)
        return 0;
    return value;
}

} // namespace quillory
