// quillory-cli launch: starts the game connected to a server, as "Play Now" does, or prints the
// command that would run (wine in front of the game's executable).
#include "cli/CommandHelp.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/GantryContext.h"

#include "common/AsciiCase.h"
#include "common/MemoryStream.h"
#include "common/PrintableText.h"
#include "gantry/db/FileDatabase.h"
#include "net/ServerWatch.h"
#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/ProcessStart.h"
#include "platform/WineRegistry.h"
#include "watch/core/GameFolderLookup.h"
#include "watch/core/GameLauncher.h"
#include "watch/core/GantryCheck.h"
#include "watch/core/LaunchRequest.h"
#include "watch/core/SettingsFile.h"
#include "watch/core/WatchRules.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace quillory::cli {

namespace {

constexpr uint32_t REPLY_WAIT_MS = 5000;
// Hello cycles, re-requests and slow loopback machines fit well inside this.
constexpr uint32_t GANTRY_WAIT_MS = 60000;

struct LaunchOptions {
    String data;
    String game;
    std::optional<String> password;
    std::optional<String> params;
    bool noAutoMods = false;
    bool force = false;
    bool dryRun = false;
    String address;
};

void DeclareOptions(CLI::App& app, LaunchOptions& options) {
    PrepareCommandLine(app);
    app.add_option("--data", options.data);
    app.add_option("--game", options.game);
    app.add_option_function<String>("--password",
                                    [&options](const String& pw) { options.password = pw; });
    app.add_option_function<String>("--params",
                                    [&options](const String& text) { options.params = text; });
    app.add_flag("--no-auto-mods", options.noAutoMods);
    app.add_flag("--force", options.force);
    app.add_flag("--dry-run", options.dryRun);
    app.add_option("ADDRESS", options.address)->required()->check(NotEmpty());
}

String DataPath(const String& data, const char* name) {
    return data.empty() ? String(name) : platform::NativePath(data) + "/" + name;
}

// --game as given; else the stored folder when it holds the game; else the game's registry keys.
String ChooseGameFolder(const LaunchOptions& options, const Settings& settings) {
    if (!options.game.empty())
        return AbsoluteFolder(options.game);
    if (!settings.gameFolder.empty()) {
        const String stored = AbsoluteFolder(settings.gameFolder);
        if (HasGameExecutable(stored))
            return stored;
    }
    return GameFolderFromRegistry(platform::DefaultWinePrefix());
}

// Loads and scans the database when a game folder is known; false when Gantry is unavailable.
// A database file that exists but does not load is never overwritten.
bool PrepareDatabase(CFileDatabase& database, const String& gameFolder) {
    auto attributes = platform::GetAttributes(gameFolder);
    if (gameFolder.empty() || !attributes || !attributes->directory)
        return false;
    database.SetGamePath(gameFolder);
    if (platform::PathExists(database.DatabasePath()) && !database.Load()) {
        std::fprintf(stderr, "quillory-cli: %s cannot be read; Gantry is off for this launch\n",
                     database.DatabasePath().c_str());
        return false;
    }
    return database.Scan();
}

// Waits for the server's replies as query does; the snapshot, or none when nothing answered.
std::optional<WatchSnapshot> AwaitReply(CServerWatch& watch) {
    CWatchState& state = watch.State();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(REPLY_WAIT_MS);
    for (;;) {
        WatchSnapshot seen = state.Snapshot();
        const bool both = seen.enumerationReplies > 0 && seen.statusReplies > 0;
        if (both || std::chrono::steady_clock::now() >= deadline) {
            if (seen.status.implementation == IMPL_NONE)
                return std::nullopt;
            return seen;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        state.WaitForChange(static_cast<uint32_t>(std::max<int64_t>(left.count(), 0) + 1));
    }
}

// Reads the Gantry server's description into the offered list; false when none came.
bool ReadDescription(CServerWatch& watch, CFileDatabase& database) {
    auto outcome = watch.State().WaitForGantryOutcome(GANTRY_WAIT_MS);
    if (!outcome || outcome->state != GANTRY_ANSWERED || !outcome->description)
        return false;
    const auto& bytes = *outcome->description;
    CMemoryStream description(bytes.data(), bytes.size());
    database.ClearOfferedList();
    if (!database.ReadOfferedList(description)) {
        std::fputs("quillory-cli: the Gantry server's description is damaged\n", stderr);
        database.ClearOfferedList();
        return false;
    }
    return true;
}

void ListPackages(const char* heading, const HandleArray<CPackage>& packages) {
    if (packages.empty())
        return;
    std::fputs(heading, stderr);
    for (const auto& package : packages)
        std::fprintf(stderr, "  %s\t%s\n", PrintableText(package->name).c_str(),
                     package->OfferedStatusText().c_str());
}

} // namespace

int RunLaunch(const Args& args) {
    LaunchOptions parsed;
    CLI::App app;
    DeclareOptions(app, parsed);
    if (auto exitCode = ParseCommandLine(app, args, TextsOf("launch")))
        return *exitCode;
    // A player who starts the desktop program from the menu keeps its files in its data folder,
    // as `gantry` finds them.
    if (parsed.data.empty())
        parsed.data =
            platform::ChooseDataFolder(platform::DefaultDataFolder(), CFileDatabase::DATABASE_FILE);
    const LaunchOptions* options = &parsed;
    auto dataFolder = platform::GetAttributes(options->data.empty() ? String(".") : options->data);
    if (!dataFolder || !dataFolder->directory) {
        std::fprintf(stderr, "quillory-cli: data folder %s does not exist\n",
                     options->data.c_str());
        return 2;
    }

    const Settings settings = LoadSettings(DataPath(options->data, SETTINGS_FILE));
    const Handle<ServerEntry> entry = FindEntry(settings, options->address);
    const String password = options->password.value_or(entry ? entry->password : String());
    const String params = options->params.value_or(entry ? entry->startupParameters : String());
    // Automatic mod settings are on unless the entry or the command line turns them off.
    const bool automaticMods = !options->noAutoMods && (!entry || entry->automaticMods);
    const String gameFolder = ChooseGameFolder(*options, settings);

    CFileDatabase database(options->data);
    const bool gantryReady = PrepareDatabase(database, gameFolder);

    CServerWatch watch;
    watch.SetCacheFolder(options->data);
    watch.SetGantryFeature(gantryReady);
    if (watch.Select(options->address, password) == SelectResult::BAD_ADDRESS) {
        std::fputs("Bad address\n", stderr);
        return 2;
    }
    if (!watch.Open()) {
        std::fputs("quillory-cli: cannot open a UDP socket\n", stderr);
        return 1;
    }
    auto seen = AwaitReply(watch);
    if (!seen) {
        std::fprintf(stderr, "No reply from %s\n", options->address.c_str());
        return 1;
    }

    // The Gantry check activates what the server needs, unless this is only a dry run.
    bool activated = false;
    if (gantryReady && ReadDescription(watch, database) && !database.OfferedPackages().empty())
        activated = !CheckRequiredPackages(database, !options->dryRun).activated.empty();
    watch.Quit();

    const ServerEntry chosen{options->address, password, String(), params, automaticMods};
    const LaunchRequest request = BuildLaunchRequest(
        chosen, seen->status, gameFolder, gantryReady ? &database : nullptr, ResolveHostDotted);
    // Optional packages never stop the game; they are only told.
    ListPackages("Optional packages not installed (not needed to play):\n",
                 request.optionalMissing);
    if (!request.missing.empty()) {
        ListPackages("You are missing files required to play on this server:\n", request.missing);
        if (!options->force) {
            if (!options->dryRun && activated)
                SaveDatabase(database);
            return 1;
        }
    }

    const bool dryRun = options->dryRun;
    String wouldRun;
    // A dry run checks all that a start checks, so it fails where the start would.
    auto start = [dryRun, &wouldRun](const String& commandLine, const String& folder) {
        if (!dryRun)
            return platform::StartProcess(commandLine, folder);
        String reason;
        auto prepared = platform::PrepareProcess(commandLine, folder, reason);
        if (!prepared)
            return platform::ProcessStartResult{false, reason};
        wouldRun = platform::ShellQuoted(prepared->arguments.argv);
        return platform::ProcessStartResult{true, String()};
    };
    const PlayNowOutcome outcome = StartLaunch(request, start);
    // As the program saves it on its way out. A failed save is said, but a game that started
    // stays a success: exit 1 would have a script start it a second time.
    if (gantryReady && !dryRun)
        SaveDatabase(database);
    switch (outcome.result) {
    case PlayNowResult::NOTHING:
        std::fprintf(stderr, "No reply from %s\n", options->address.c_str());
        return 1;
    case PlayNowResult::BAD_ADDRESS:
        std::fputs("Bad address\n", stderr);
        return 2;
    case PlayNowResult::FAILED:
        std::fprintf(stderr, "%s: %s\n", LaunchFailureText(seen->status.version).c_str(),
                     outcome.reason.c_str());
        return 1;
    case PlayNowResult::STARTED:
        break;
    }
    if (dryRun)
        std::printf("%s\n", wouldRun.c_str());
    return 0;
}

} // namespace quillory::cli
