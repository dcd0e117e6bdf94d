#include "watch/WatchLauncher.h"

#include "platform/ProcessStart.h"
#include "platform/WineRegistry.h"
#include "ui/TextConversion.h"
#include "watch/PathSetupDialog.h"
#include "watch/core/GameFolderLookup.h"

namespace quillory::ui {

namespace {

String AskWithPathSetup(QWidget* parent) {
    CPathSetupDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return String();
    return dialog.FoundFolder();
}

QStringList PackageNames(const HandleArray<CPackage>& packages) {
    QStringList names;
    for (const Handle<CPackage>& package : packages)
        names << FromNetwork(package->name);
    return names;
}

CGantryWarningDialog::Choice AskWithWarning(QWidget* parent, const LaunchRequest& request) {
    CGantryWarningDialog dialog(parent, PackageNames(request.missing),
                                PackageNames(request.optionalMissing));
    dialog.exec();
    return dialog.Result();
}

} // namespace

CWatchLauncher::CWatchLauncher(Parts parts) : parts_(std::move(parts)) {
    if (!parts_.start)
        parts_.start = &platform::StartProcess;
    if (parts_.winePrefix.empty())
        parts_.winePrefix = platform::DefaultWinePrefix();
    if (!parts_.askFolder)
        parts_.askFolder = &AskWithPathSetup;
    if (!parts_.askWarning)
        parts_.askWarning = &AskWithWarning;
}

String CWatchLauncher::CheckGameFolder(const String& stored) {
    if (HasGameExecutable(stored))
        return stored;
    const String fromRegistry = GameFolderFromRegistry(parts_.winePrefix);
    if (!fromRegistry.empty())
        return fromRegistry;
    // The last resort; a search that found nothing leaves the program without a game folder.
    return parts_.askFolder(nullptr);
}

std::optional<LaunchOutcome> CWatchLauncher::AskAboutMissing(const LaunchRequest& request,
                                                             QWidget* parent) {
    // Optional packages never stop the game; they are named only beside required ones.
    if (request.missing.empty())
        return std::nullopt;
    switch (parts_.askWarning(parent, request)) {
    case CGantryWarningDialog::Choice::FORCE_CONNECT:
        return std::nullopt;
    case CGantryWarningDialog::Choice::MANAGER:
        return LaunchOutcome{LaunchOutcome::Kind::NEEDS_MANAGER, String()};
    case CGantryWarningDialog::Choice::CANCEL:
        break;
    }
    return LaunchOutcome{LaunchOutcome::Kind::CANCELLED, String()};
}

LaunchOutcome CWatchLauncher::PlayNow(const LaunchRequest& request, QWidget* parent) {
    if (auto answered = AskAboutMissing(request, parent))
        return *answered;
    const PlayNowOutcome outcome = StartLaunch(request, parts_.start);
    switch (outcome.result) {
    case PlayNowResult::NOTHING:
        break;
    case PlayNowResult::BAD_ADDRESS:
        return LaunchOutcome{LaunchOutcome::Kind::REFUSED, BAD_ADDRESS_TEXT};
    case PlayNowResult::FAILED: {
        // A player started from the menu reads no terminal: the reason goes into the box.
        String text = LaunchFailureText(request.version);
        if (!outcome.reason.empty())
            text += "\n\n" + outcome.reason;
        return LaunchOutcome{LaunchOutcome::Kind::FAILED, text};
    }
    case PlayNowResult::STARTED:
        return LaunchOutcome{LaunchOutcome::Kind::STARTED, String()};
    }
    return LaunchOutcome{};
}

} // namespace quillory::ui
