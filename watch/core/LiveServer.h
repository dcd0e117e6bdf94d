#pragma once
// One row of the server browser: a server as the browser server lists it and, once it has
// been asked itself, what it answered. Its texts and sort order are the same in the window
// and on the command line.

#include "common/Types.h"
#include "net/MultiQuery.h"
#include "net/PublicServer.h"

#include <cstdint>
#include <optional>

namespace quillory {

// The browser's columns, in their order on screen.
enum BrowserColumn : int {
    BC_NAME,
    BC_PLAYERS,
    BC_PING,
    BC_MAP,
    BC_MISSION,
    BC_STATUS,
    BC_VERSION,
    BC_LOCKED,
    BC_GANTRY,
    BC_GAME,
    BC_ADDRESS,
    BC_COUNT
};

struct LiveServer {
    PublicServer listed;
    std::optional<QueryOutcome> outcome; // nothing while it is still being asked

    bool Answered() const { return outcome && outcome->result == QueryResult::REPLIED; }
    // Asked, and nothing came back in time.
    bool Silent() const { return outcome && outcome->result != QueryResult::REPLIED; }
    // The players it reported, else the browser server's count.
    int32_t Players() const;
    bool Uprising() const { return (listed.flags & PSF_UPRISING) != 0; }
};

// The header text of a column.
const char* BrowserColumnTitle(int column);
// What a cell shows: "players/max" once answered, "No reply" in the status of a silent
// server, nothing in the columns a server still being asked has not told yet.
String BrowserCellText(const LiveServer& server, int column);
// Whether `a` sorts before `b` by `column` (numbers as numbers, texts regardless of letter
// case and with their digits as numbers, silent and unasked servers after the answering ones), the
// name and the address breaking ties so that the order is always the same.
bool BrowserLess(const LiveServer& a, const LiveServer& b, int column);

} // namespace quillory
