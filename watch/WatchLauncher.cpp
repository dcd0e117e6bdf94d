#include "watch/WatchLauncher.h"

#include "platform/ProcessStart.h"
#include "platform/WineRegistry.h"
#include "ui/MessageBoxes.h"
#include "watch/PathSetupDialog.h"
#include "watch/WatchDialog.h"
#include "watch/core/GameFolderLookup.h"
#include "watch/core/GantryCheck.h"

#include <cstdio>

namespace quillory::ui {

namespace {

String AskWithPathSetup(QWidget* parent) {
    CPathSetupDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return String();
    return dialog.FoundFolder();
}

CGantryWarningDialog::Choice AskWithWarning(QWidget* parent) {
    CGantryWarningDialog dialog(parent);
    dialog.exec();
    return dialog.Result();
}

} // namespace

CWatchLauncher::CWatchLauncher(Parts parts) : parts_(std::move(parts)) {
    if (!parts_.start)
        parts_.start = &platform::StartProcess;
    if (!parts_.resolve)
        parts_.resolve = &ResolveHostDotted;
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

bool CWatchLauncher::CheckPackages(CWatchDialog& window) {
    if (!window.GantryReady() || window.Database().offeredPackages.empty())
        return true;
    const GantryCheckResult check = CheckRequiredPackages(window.Database());
    if (!check.missing)
        return true;
    switch (parts_.askWarning(&window)) {
    case CGantryWarningDialog::Choice::FORCE_CONNECT:
        return true;
    case CGantryWarningDialog::Choice::MANAGER:
        window.OpenManager();
        return false;
    case CGantryWarningDialog::Choice::CANCEL:
        return false;
    }
    return false;
}

void CWatchLauncher::PlayNow(CWatchDialog& window) {
    if (!CheckPackages(window))
        return;
    const Handle<ServerEntry> entry = window.SelectedEntry();
    const ServerStatus status = window.Status();
    PlayNowRequest request;
    request.serverSelected = entry != nullptr;
    request.implementation = status.implementation;
    request.reportedPort = status.port;
    request.settings.gameFolder = window.GameFolder();
    request.settings.version = status.version;
    request.settings.locked = status.locked;
    if (entry) {
        request.address = entry->address;
        request.settings.password = entry->password;
        request.settings.startupParameters = entry->startupParameters;
        request.settings.automaticMods = entry->automaticMods;
    }
    if (window.GantryReady())
        request.settings.modSuggestion = window.Database().ModSuggestion();

    const PlayNowOutcome outcome = PlayNowLaunch(request, parts_.resolve, parts_.start);
    switch (outcome.result) {
    case PlayNowResult::NOTHING:
        return;
    case PlayNowResult::BAD_ADDRESS:
        Show(window, QString::fromLatin1(BAD_ADDRESS_TEXT));
        return;
    case PlayNowResult::FAILED:
        // The box has a fixed text; the reason goes where a terminal can show it.
        std::fprintf(stderr, "%s: %s\n", LaunchFailureText(status.version).c_str(),
                     outcome.reason.c_str());
        Show(window, QString::fromStdString(LaunchFailureText(status.version)));
        break;
    case PlayNowResult::STARTED:
        break;
    }
    window.UncheckGameEndBoxes();
    if (outcome.result == PlayNowResult::STARTED)
        window.accept(); // closing saves the settings and ends the program
}

void CWatchLauncher::Show(CWatchDialog& window, const QString& text) {
    if (parts_.messageBoxes != nullptr)
        parts_.messageBoxes->Information(&window, window.windowTitle(), text);
}

} // namespace quillory::ui
