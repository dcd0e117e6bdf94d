#pragma once
// The game launcher behind "Play Now" and the launch at game end, and the game folder lookup
// while the window opens: registry keys first, then the path setup dialog.

#include "common/Types.h"
#include "watch/GantryWarningDialog.h"
#include "watch/Launcher.h"
#include "watch/core/GameLauncher.h"

#include <functional>
#include <optional>

class QWidget;

namespace quillory::ui {

class CWatchLauncher final : public ILauncher {
public:
    static constexpr const char* BAD_ADDRESS_TEXT = "Bad address";

    // What the launcher asks of the world; each has a default that does the real thing.
    struct Parts {
        ProcessStarter start; // default: the platform's process start
        String winePrefix;    // default: $WINEPREFIX, else ~/.wine
        // The path setup dialog: the folder found, or empty after "Cancel".
        std::function<String(QWidget* parent)> askFolder;
        // The Gantry warning's answer about the request's missing packages.
        std::function<CGantryWarningDialog::Choice(QWidget* parent, const LaunchRequest& request)>
            askWarning;
    };

    explicit CWatchLauncher(Parts parts);

    String CheckGameFolder(const String& stored) override;
    LaunchOutcome PlayNow(const LaunchRequest& request, QWidget* parent) override;

private:
    // The Gantry warning's answer as an outcome; none when the launch goes on.
    std::optional<LaunchOutcome> AskAboutMissing(const LaunchRequest& request, QWidget* parent);

    Parts parts_;
};

} // namespace quillory::ui
