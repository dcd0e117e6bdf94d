#pragma once
// The game launcher as the watch window calls it: "Play Now", the launch at game end, and the
// game folder check while the window opens.

#include "common/Types.h"

namespace quillory::ui {

class CWatchDialog;

class ILauncher {
public:
    virtual ~ILauncher() = default;
    // The game folder to use at start-up, from the one the settings file gave (maybe empty);
    // empty when none is usable. Runs on the window's thread before the database starts.
    virtual String CheckGameFolder(const String& stored) = 0;
    // "Play Now" and the launch when the game ends; may close the window on success.
    virtual void PlayNow(CWatchDialog& window) = 0;
};

} // namespace quillory::ui
