#pragma once
// Starting the game connected to the watched server: which executable, which switches, and the
// command line exactly as the game receives it.

#include "common/Types.h"
#include "platform/ProcessStart.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace quillory {

constexpr const char* EXE_IRONVALE = "IRONVALE.EXE";
constexpr const char* EXE_UPRISING = "IRONVALEUPRISING.EXE";
constexpr const char* EXE_BETA_192 = "IRONVALE192BETA.EXE";
// Servers from this version on run the expansion.
constexpr int32_t VERSION_UPRISING = 175;
// The version of the public beta, which has its own executable when installed.
constexpr int32_t VERSION_BETA_192 = 192;

// Where the game connects: the host as typed (to be resolved) and the port text.
struct ConnectTarget {
    String host;
    String port;
};

// The host and port of an entry's address: the text after the first ":" is the port, else the
// port the server reported. Blanks around either are dropped. None for an empty address.
std::optional<ConnectTarget> ConnectTargetOf(const String& address, int32_t reportedPort);

// What one launch is built from: the selected entry, the server's reply, the game folder and the
// Gantry database's mod suggestion (empty when the database is not ready).
struct LaunchSettings {
    String gameFolder;
    int32_t version = 0;
    bool locked = false;
    String password;
    String startupParameters;
    bool automaticMods = true;
    String modSuggestion;
    String connectAddress; // dotted IPv4
    String connectPort;
};

// The executable for a server version; `betaPresent` tells whether the beta executable is in the
// game folder.
String ExecutableName(int32_t version, bool betaPresent);
// Whether the game folder holds the beta executable, in any letter case.
bool BetaExecutablePresent(const String& gameFolder);
// The game folder and the name, with a separator between them when the folder has none.
String ExecutablePath(const String& gameFolder, const String& name);

// The words after the connect switches: with automatic mods, the startup parameters without their
// "-mod=" words and then "-mod=" and the suggestion; otherwise the parameters as stored.
String ExtraParameters(const String& startupParameters, bool automaticMods,
                       const String& modSuggestion);
// "-nosplash -connect=A -port=P", the password for a locked server, then the extra parameters.
String BuildSwitches(const LaunchSettings& settings);
// The quoted executable path, a blank and the switches.
String BuildCommandLine(const LaunchSettings& settings, const String& executableName);
// The command line for these settings, choosing the executable from the game folder.
String GameCommandLine(const LaunchSettings& settings);

// The message shown when the game does not start.
String LaunchFailureText(int32_t version);

// What PlayNow works from once the Gantry check is passed.
struct PlayNowRequest {
    bool serverSelected = false;
    int32_t implementation = 0; // 0: the server has not replied yet
    String address;             // the entry's address, with an optional ":port"
    int32_t reportedPort = 0;
    LaunchSettings settings; // connect address and port are filled in by PlayNow
};

enum class PlayNowResult {
    NOTHING,     // no selection, no reply yet or an empty address
    BAD_ADDRESS, // the host did not resolve
    FAILED,      // no game folder, or the process did not start
    STARTED,
};

struct PlayNowOutcome {
    PlayNowResult result = PlayNowResult::NOTHING;
    String commandLine;
    String reason; // why the game did not start
};

using HostResolver = std::function<std::optional<String>(const String& host)>;
using ProcessStarter =
    std::function<platform::ProcessStartResult(const String& commandLine, const String& folder)>;

// The dotted IPv4 address of a host, by its dotted form or a blocking lookup.
std::optional<String> ResolveHostDotted(const String& host);

// Resolves the server, builds the command line and starts the game with `start` in the game
// folder.
PlayNowOutcome PlayNowLaunch(PlayNowRequest request, const HostResolver& resolve,
                             const ProcessStarter& start);

} // namespace quillory
