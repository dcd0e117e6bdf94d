#include "watch/core/BrowserFilter.h"

#include "common/AsciiCase.h"
#include "platform/FileSystem.h"
#include "watch/core/GameLauncher.h"

#include <cstdlib>

namespace quillory {

namespace {

constexpr int32_t FIRST_UPRISING_VERSION = 175;

bool Full(const ServerStatus& s) {
    const int max = std::atoi(s.maxPlayers.c_str());
    return max > 0 && s.players >= max;
}

bool GameInstalled(const LiveServer& server, const InstalledGames& games) {
    const bool uprising = server.Answered()
                              ? server.outcome->status.version >= FIRST_UPRISING_VERSION
                              : server.Uprising();
    return uprising ? games.uprising : games.ironvale;
}

bool Matches(const LiveServer& server, const String& search) {
    if (search.empty())
        return true;
    if (FindNoCase(server.listed.name, search) != String::npos)
        return true;
    if (!server.Answered())
        return false;
    const ServerStatus& s = server.outcome->status;
    return FindNoCase(s.map, search) != String::npos ||
           FindNoCase(s.mission, search) != String::npos;
}

bool HasExecutable(const String& gameFolder, const char* name) {
    const auto attributes = platform::GetAttributes(ExecutablePath(gameFolder, name));
    return attributes && !attributes->directory;
}

} // namespace

InstalledGames FindInstalledGames(const String& gameFolder) {
    if (gameFolder.empty())
        return {};
    return {HasExecutable(gameFolder, EXE_IRONVALE), HasExecutable(gameFolder, EXE_UPRISING)};
}

bool BrowserShows(const LiveServer& server, const BrowserChoices& c, const InstalledGames& games) {
    if (c.notEmpty && server.Players() == 0)
        return false;
    if (c.myVersionOnly && !GameInstalled(server, games))
        return false;
    if (!Matches(server, c.search))
        return false;
    if (server.Answered()) {
        const ServerStatus& s = server.outcome->status;
        if ((c.notFull && Full(s)) || (c.notLocked && s.locked))
            return false;
        return c.maxPingMs <= 0 || s.ping <= c.maxPingMs;
    }
    return c.maxPingMs <= 0 || !server.Silent();
}

} // namespace quillory
