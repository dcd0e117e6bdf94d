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
#include "platform/StopSignals.h"
#include "platform/WineRegistry.h"
#include "watch/core/GameFolderLookup.h"
#include "watch/core/GameLauncher.h"
#include "watch/core/GantryCheck.h"
#include "watch/core/LaunchRequest.h"
#include "watch/core/SettingsFile.h"
#include "watch/core/SlotWait.h"
#include "watch/core/WatchRules.h"

#include <charconv>
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
    bool waitForSlot = false;
    std::optional<uint64_t> timeoutSeconds; // of the wait for a slot
    String address;
};

// A wait for a slot may last all day, not longer.
constexpr uint64_t MAX_SLOT_WAIT_SECONDS = 7ull * 24 * 3600;
// How often the wait looks at what the engine learnt, as the window's tick does.
constexpr uint32_t SLOT_TICK_MS = 500;

void DeclareSlotWaitOptions(CLI::App& app, LaunchOptions& options) {
    auto* wait = app.add_flag("--wait-for-slot", options.waitForSlot);
    app.add_option_function<uint64_t>("--timeout",
                                      [&options](uint64_t n) { options.timeoutSeconds = n; })
        ->transform(DecimalAtMost(MAX_SLOT_WAIT_SECONDS))
        ->needs(wait);
}

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
    DeclareSlotWaitOptions(app, options);
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

// The server's most players, or 0 when it has not said.
int MaxPlayersOf(const ServerStatus& status) {
    int value = 0;
    const char* end = status.maxPlayers.data() + status.maxPlayers.size();
    const auto [ptr, error] = std::from_chars(status.maxPlayers.data(), end, value);
    return error == std::errc() && ptr == end ? value : 0;
}

// With --wait-for-slot, waits while the server is full, polling as the window does: the status
// that showed the free slot, or none when the time ran out or a stop was asked (said on stderr).
std::optional<WatchSnapshot> AwaitFreeSlot(CServerWatch& watch, const LaunchOptions& options,
                                           WatchSnapshot seen, CStopSignals& stopSignals) {
    CSlotWait slot;
    slot.Start(options.address);
    if (slot.OnStatus(options.address, seen.status.players, MaxPlayersOf(seen.status)) ||
        MaxPlayersOf(seen.status) <= 0)
        return seen; // room already, or no maximum to wait for
    std::fprintf(stderr, "%s is full (%d/%d); waiting for a free slot\n",
                 PrintableText(options.address).c_str(), seen.status.players,
                 MaxPlayersOf(seen.status));
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::seconds(options.timeoutSeconds.value_or(0));
    while (!stopSignals.Wait(SLOT_TICK_MS)) {
        seen = watch.State().Snapshot();
        if (slot.OnStatus(options.address, seen.status.players, MaxPlayersOf(seen.status))) {
            std::fprintf(stderr, "A slot is free on %s (%d/%d)\n",
                         PrintableText(options.address).c_str(), seen.status.players,
                         MaxPlayersOf(seen.status));
            return seen;
        }
        if (options.timeoutSeconds && std::chrono::steady_clock::now() - start >= limit) {
            std::fprintf(stderr, "No free slot on %s within %llu seconds\n",
                         PrintableText(options.address).c_str(),
                         static_cast<unsigned long long>(*options.timeoutSeconds));
            return std::nullopt;
        }
    }
    std::fputs("quillory-cli: stopped waiting for a free slot\n", stderr);
    return std::nullopt;
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

    // Before the engine's thread, which must not take the signals; gone before the game starts,
    // which must not inherit them held back.
    std::optional<CStopSignals> stopSignals;
    if (options->waitForSlot)
        stopSignals.emplace();

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
    if (options->waitForSlot) {
        seen = AwaitFreeSlot(watch, *options, *seen, *stopSignals);
        stopSignals.reset();
        if (!seen)
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
