#pragma once
// The window's own choices beside the server list: friends, the refresh rate of the servers
// table, notifications, the tray, and the server browser's sorting and filters. Kept in the data
// folder's "quillory.json", so that "quillory.sav" keeps its layout for other readers.

#include "common/Types.h"
#include "watch/core/BrowserChoices.h"

#include <vector>

namespace quillory {

// The servers table is never refreshed faster than this, so that fifty saved servers cannot
// flood them or the player's line.
constexpr int MIN_REFRESH_SECONDS = 5;
constexpr int DEFAULT_REFRESH_SECONDS = 20;
// An hour is slow enough for anyone; beyond it the table would only show stale rows.
constexpr int MAX_REFRESH_SECONDS = 3600;

struct UserConfig {
    // Player names to look for on every saved server: any letter case, `*` for any run of
    // characters. In the system code page, as the servers send names.
    std::vector<String> friends;
    int refreshSeconds = DEFAULT_REFRESH_SECONDS; // MIN_REFRESH_SECONDS..MAX_REFRESH_SECONDS
    bool desktopNotifications = true;
    bool closeToTray = false;
    BrowserChoices browser;
};

// `seconds` brought into the range the refresh accepts.
constexpr int ClampRefreshSeconds(long long seconds) {
    if (seconds < MIN_REFRESH_SECONDS)
        return MIN_REFRESH_SECONDS;
    return seconds > MAX_REFRESH_SECONDS ? MAX_REFRESH_SECONDS : static_cast<int>(seconds);
}

} // namespace quillory
