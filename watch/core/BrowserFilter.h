#pragma once
// The server browser's filters: which rows the player's choices leave in sight.

#include "common/Types.h"
#include "watch/core/BrowserChoices.h"
#include "watch/core/LiveServer.h"

namespace quillory {

// The games the player's installation can start, by the executables in its folder.
struct InstalledGames {
    bool ironvale = true; // servers below version 175
    bool uprising = true; // 175 and up
};

// Looks for the executables in `gameFolder` (kept with a trailing separator). Without a game
// folder nothing is known, and both count as installed so that the filter hides nothing.
InstalledGames FindInstalledGames(const String& gameFolder);

// Whether `server` stays in sight. A server still being asked, or silent, passes the filters
// on what it has not told; a ping limit hides the silent ones, whose ping is unknown.
bool BrowserShows(const LiveServer& server, const BrowserChoices& choices,
                  const InstalledGames& games);

} // namespace quillory
