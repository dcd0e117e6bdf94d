#pragma once
// The game launcher as the watch window calls it: "Play Now", the launch at game end, and the
// game folder check while the window opens.

#include "common/Types.h"
#include "watch/core/LaunchRequest.h"

class QWidget;

namespace quillory::ui {

// What one "Play Now" came to; the window acts on it.
struct LaunchOutcome {
    enum class Kind {
        NOTHING,       // nothing to launch yet
        CANCELLED,     // the Gantry warning was cancelled
        NEEDS_MANAGER, // the Gantry warning asked for the manager
        REFUSED,       // not tried: `text` says why
        FAILED,        // tried, the game did not start: `text` says so
        STARTED,
    };
    Kind kind = Kind::NOTHING;
    String text;
};

class ILauncher {
public:
    virtual ~ILauncher() = default;
    // The game folder to use at start-up, from the one the settings file gave (maybe empty);
    // empty when none is usable. Runs on the window's thread before the database starts.
    virtual String CheckGameFolder(const String& stored) = 0;
    // "Play Now" and the launch when the game ends: asks about missing packages, then starts the
    // game. `parent` owns the question's dialog.
    [[nodiscard]] virtual LaunchOutcome PlayNow(const LaunchRequest& request, QWidget* parent) = 0;
};

} // namespace quillory::ui
