#include "watch/core/LaunchRequest.h"

#include "watch/core/GantryCheck.h"

namespace quillory {

namespace {

PlayNowRequest PlayNowRequestOf(const ServerEntry& entry, const ServerStatus& status,
                                const String& gameFolder, const CFileDatabase* database) {
    PlayNowRequest request;
    request.serverSelected = true; // an entry without an address launches nothing
    request.implementation = status.implementation;
    request.address = entry.address;
    request.reportedPort = status.port;
    request.settings.gameFolder = gameFolder;
    request.settings.version = status.version;
    request.settings.locked = status.locked;
    request.settings.password = entry.password;
    request.settings.startupParameters = entry.startupParameters;
    request.settings.automaticMods = entry.automaticMods;
    if (database != nullptr)
        request.settings.modSuggestion = database->ModSuggestion();
    return request;
}

} // namespace

LaunchRequest PrepareLaunch(PlayNowRequest request, const HostResolver& resolve) {
    LaunchRequest launch;
    launch.version = request.settings.version;
    if (!request.serverSelected || request.implementation == 0)
        return launch;
    auto target = ConnectTargetOf(request.address, request.reportedPort);
    if (!target)
        return launch;
    auto dotted = resolve(target->host);
    if (!dotted) {
        launch.state = LaunchState::BAD_ADDRESS;
        return launch;
    }
    LaunchSettings& settings = request.settings;
    if (settings.gameFolder.empty()) {
        launch.state = LaunchState::NO_GAME_FOLDER;
        return launch;
    }
    settings.connectAddress = *dotted;
    settings.connectPort = target->port;
    const bool beta =
        settings.version == VERSION_BETA_192 && BetaExecutablePresent(settings.gameFolder);
    const String name = ExecutableName(settings.version, beta);
    launch.state = LaunchState::READY;
    launch.executable = ExecutablePath(settings.gameFolder, name);
    launch.workingFolder = settings.gameFolder;
    launch.commandLine = BuildCommandLine(settings, name);
    return launch;
}

LaunchRequest BuildLaunchRequest(const ServerEntry& entry, const ServerStatus& status,
                                 const String& gameFolder, const CFileDatabase* database,
                                 const HostResolver& resolve) {
    LaunchRequest launch =
        PrepareLaunch(PlayNowRequestOf(entry, status, gameFolder, database), resolve);
    if (database != nullptr) {
        launch.missing = PackagesFoundMissing(*database, true);
        launch.optionalMissing = PackagesFoundMissing(*database, false);
    }
    return launch;
}

PlayNowOutcome StartLaunch(const LaunchRequest& request, const ProcessStarter& start) {
    PlayNowOutcome outcome;
    switch (request.state) {
    case LaunchState::NOTHING:
        return outcome;
    case LaunchState::BAD_ADDRESS:
        outcome.result = PlayNowResult::BAD_ADDRESS;
        return outcome;
    case LaunchState::NO_GAME_FOLDER:
        outcome.result = PlayNowResult::FAILED;
        outcome.reason = "no game folder is set";
        return outcome;
    case LaunchState::READY:
        break;
    }
    outcome.commandLine = request.commandLine;
    const platform::ProcessStartResult started = start(request.commandLine, request.workingFolder);
    outcome.result = started.started ? PlayNowResult::STARTED : PlayNowResult::FAILED;
    if (!started.started)
        outcome.reason = started.reason;
    return outcome;
}

} // namespace quillory
