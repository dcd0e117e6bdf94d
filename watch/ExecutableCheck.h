#pragma once
// The launcher the window has until the game can be started from it: keeps a stored game
// folder when it holds a game executable, and starts nothing.

#include "watch/Launcher.h"

namespace quillory::ui {

class CExecutableCheck final : public ILauncher {
public:
    // True when "IRONVALE.EXE" or "IRONVALEUPRISING.EXE" exists in the folder (letter case
    // ignored, as the game's own file system does).
    static bool HasGameExecutable(const String& folder);

    String CheckGameFolder(const String& stored) override;
    LaunchOutcome PlayNow(const LaunchRequest&, QWidget*) override { return {}; }
};

} // namespace quillory::ui
