#pragma once
// The texts of one row of the window's table of saved servers, from what one multi-server
// query round learnt about the server.

#include "common/Types.h"
#include "net/MultiQuery.h"
#include "net/ServerStatus.h"

#include <vector>

namespace quillory {

struct ServersTableRow {
    String name;
    String status;
    String players;
    String map;
    String mission;
    String ping;
    String locked;
    String gantry;
    String friends; // the friends playing there, comma separated
    bool replied = false;
};

constexpr const char* ASKING_TEXT = "Asking";
constexpr const char* TABLE_BAD_ADDRESS_TEXT = "Bad address";
constexpr const char* NO_SOCKET_TEXT = "No socket";

// A row before its server's first round has ended.
ServersTableRow AskingServersTableRow(const String& name);

// `gantry` is what the full watch last said of the server's Gantry (empty when never watched);
// `friends` are the names of the friends on it.
ServersTableRow MakeServersTableRow(const String& name, QueryResult result,
                                    const ServerStatus& status, const String& gantry,
                                    const std::vector<String>& friends);

// The server's maximum as a number; 0 when it gave none or not a number.
int ParsedMaxPlayers(const String& maxPlayers);

} // namespace quillory
