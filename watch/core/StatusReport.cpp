#include "watch/core/StatusReport.h"

#include "watch/core/WatchRules.h"

namespace quillory {

std::vector<StatusLine> StatusLines(const ServerStatus& s) {
    String lastTimeLeft; // one look: nothing counted down from
    return {
        {"Type", TypeText(s.gameType)},
        {"Description", s.description},
        {"Version", std::to_string(s.version)},
        {"Required", std::to_string(s.requiredVersion)},
        {"Ping", std::to_string(s.ping)},
        {"Locked", LockedText(s.locked)},
        {"Port", std::to_string(s.port)},
        {"Impl", ImplementationText(s.implementation)},
        {"Platform", PlatformText(s.platform)},
        {"Logged on", LoggedOnText(s.players, s.maxPlayers)},
        {"Map", s.map},
        {"Current mission", s.mission},
        {"Status", StatusText(s.state)},
        {"Time left", TimeLeftText(s.timeLeft, lastTimeLeft)},
        {"Param", ParamText(s.param1, s.param2)},
    };
}

} // namespace quillory
