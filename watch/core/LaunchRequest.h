#pragma once
// What "Play Now" and `quillory-cli launch` start, built in one place from the server entry, the
// server's reply, the game folder and the Gantry database.

#include "common/Types.h"
#include "gantry/db/FileDatabase.h"
#include "net/ServerStatus.h"
#include "watch/core/GameLauncher.h"
#include "watch/core/ServerEntry.h"

namespace quillory {

enum class LaunchState {
    NOTHING,        // no reply yet or an empty address
    BAD_ADDRESS,    // the host did not resolve
    NO_GAME_FOLDER, // nowhere to start the game from
    READY,
};

struct LaunchRequest {
    LaunchState state = LaunchState::NOTHING;
    int32_t version = 0;  // the server's, which names the game in a failure text
    String executable;    // the game's executable path
    String workingFolder; // the game folder
    String commandLine;   // exactly as the game receives it
    // Offered packages with files missing, as the last comparison with the database found them:
    // those the manager flags for download (Recommended, Required), which stop the launch until
    // the player decides, and the Optional ones, which are only told.
    HandleArray<CPackage> missing;
    HandleArray<CPackage> optionalMissing;
};

// The launch request without its Gantry part: resolves the server's host and builds the command
// line. Ready only with a reply, a resolved host and a game folder.
LaunchRequest PrepareLaunch(PlayNowRequest request, const HostResolver& resolve);

// The launch request for `entry` (its address, password, parameters and mod flag) and the server's
// reply. `database` is null while Gantry is unavailable; otherwise it gives the mod suggestion and
// the missing packages, so run the Gantry check on it first, which compares them afresh.
LaunchRequest BuildLaunchRequest(const ServerEntry& entry, const ServerStatus& status,
                                 const String& gameFolder, const CFileDatabase* database,
                                 const HostResolver& resolve);

// Starts a ready request with `start`; the outcome tells what happened and why it failed.
[[nodiscard]] PlayNowOutcome StartLaunch(const LaunchRequest& request, const ProcessStarter& start);

} // namespace quillory
