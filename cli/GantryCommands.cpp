// quillory-cli gantry: loads the database, scans the game folder, runs one subcommand and saves
// what it changed.
#include "cli/CommandHelp.h"
#include "cli/Commands.h"
#include "cli/GantryContext.h"
#include "common/StandardSwitches.h"
#include "gantry/db/DatabaseLoader.h"

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "watch/core/SettingsFile.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unordered_set>

namespace quillory::cli {

#define QUILLORY_GANTRY_SUBCOMMAND(name, function, usage) int function(GantryContext&, const Args&);
#include "cli/GantrySubcommands.inc"
#undef QUILLORY_GANTRY_SUBCOMMAND

namespace {

struct SubcommandEntry {
    const char* name;
    GantrySubcommand run;
    const char* usage;
};

constexpr SubcommandEntry kSubcommands[] = {
#define QUILLORY_GANTRY_SUBCOMMAND(name, function, usage) {name, function, usage},
#include "cli/GantrySubcommands.inc"
#undef QUILLORY_GANTRY_SUBCOMMAND
};

// Commands that read the database as saved and must change nothing: no scan before them, no
// save after them.
constexpr const char* kLoadOnly[] = {"verify"};

bool IsLoadOnly(const String& name) {
    for (const char* loadOnly : kLoadOnly)
        if (name == loadOnly)
            return true;
    return false;
}

constexpr const char* kUsageLead = "usage: quillory-cli gantry [--game DIR] [--data DIR] ";
constexpr const char* kOptionsHelp =
    "  --game DIR   the game folder (default: the one in quillory.sav)\n"
    "  --data DIR   the folder of quillory.dat and quillory.sav (default: the current\n"
    "               directory, or ~/.local/share/quillory when only that holds quillory.dat)\n";

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "%sCOMMAND ...\n%scommands:\n", kUsageLead, kOptionsHelp);
    for (const SubcommandEntry& entry : kSubcommands)
        std::fprintf(out, "  %s\n", entry.usage);
}

// "gantry COMMAND --help" and "--version", answered before any folder is looked at.
int AnswerSubcommandSwitch(const SubcommandEntry& entry, const String& word) {
    if (IsVersionSwitch(word)) {
        PrintVersion(stdout, PROGRAM_NAME);
        return 0;
    }
    std::printf("%s%s\n%s\nExit status: 0 done, 1 the work failed, 2 bad input (nothing "
                "changed).\n",
                kUsageLead, entry.usage, kOptionsHelp);
    return 0;
}

bool IsStandardSwitch(const Args& args) {
    return !args.empty() && (IsHelpSwitch(args.front()) || IsVersionSwitch(args.front()));
}

const SubcommandEntry* FindSubcommand(const String& name) {
    for (const SubcommandEntry& entry : kSubcommands)
        if (name == entry.name)
            return &entry;
    return nullptr;
}

struct GlobalOptions {
    String game;
    String data;
    bool help = false;
    bool version = false;
};

// Options before the subcommand's name; false with an error on a bad one.
bool ParseGlobalOptions(Args& args, GlobalOptions& options) {
    while (!args.empty() && args.front().starts_with("--")) {
        const String option = args.front();
        args.erase(args.begin());
        if (IsHelpSwitch(option) || IsVersionSwitch(option)) {
            (IsHelpSwitch(option) ? options.help : options.version) = true;
            continue;
        }
        if (option != "--game" && option != "--data") {
            std::fprintf(stderr, "quillory-cli: unknown option %s\n", option.c_str());
            return false;
        }
        if (args.empty()) {
            std::fprintf(stderr, "quillory-cli: %s needs a folder\n", option.c_str());
            return false;
        }
        (option == "--game" ? options.game : options.data) = args.front();
        args.erase(args.begin());
    }
    return true;
}

// The game folder as the database keeps it: absolute, with its trailing separator.
String GameFolderOf(const String& given) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(platform::NativePath(given), error);
    String folder = (error ? std::filesystem::path(given) : absolute).lexically_normal().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// The game folder the desktop program stored in "quillory.sav" in `dataFolder` (empty: the
// current directory), with the native separator; empty when none is stored.
String SettingsGameFolder(const String& dataFolder) {
    const String path = dataFolder.empty() ? String(SETTINGS_FILE)
                                           : platform::NativePath(dataFolder) + "/" + SETTINGS_FILE;
    String folder = platform::NativePath(LoadSettings(path).gameFolder);
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

bool IsFolder(const String& path) {
    auto attributes = platform::GetAttributes(path.empty() ? String(".") : path);
    return attributes && attributes->directory;
}

// Waits for the start-up worker, showing the path being scanned while stderr is a terminal.
void WaitWithProgress(CDatabaseLoader& loader) {
    WaitShowingProgress([&](std::chrono::milliseconds timeout) { return loader.WaitFor(timeout); },
                        [&] { return loader.ScanText(); }, "scanning");
    loader.Wait();
}

void Summarize(GantryContext& context, const std::unordered_set<const CFileNode*>& before) {
    const CFileDatabase& database = context.database;
    std::vector<CFileNode*> nodes;
    if (database.Root())
        database.Root()->CollectPointers(nodes);
    ScanSummary summary;
    for (const CFileNode* node : nodes) {
        if (node->IsFolder()) {
            summary.folders += node->status != NS_MISSING;
            continue;
        }
        if (node->status == NS_MISSING)
            ++summary.missingFiles;
        else
            ++summary.files;
        summary.newFiles += before.count(node) == 0;
    }
    summary.packages =
        static_cast<uint32_t>(database.Packages().size() - CFileDatabase::PSEUDO_PACKAGE_COUNT);
    context.scan = summary;
}

// Loads "quillory.dat" and scans, through the same worker as the desktop program. An unreadable
// file is moved aside and the database built anew; one that cannot be moved stops the command.
bool Prepare(GantryContext& context) {
    CFileDatabase& database = context.database;
    std::unordered_set<const CFileNode*> before;
    CDatabaseLoader loader(database);
    const bool started = loader.Start(context.gamePath, [&](CFileDatabase& loaded) {
        context.loadedChangeCount = loaded.ChangeCount();
        if (!loaded.Root())
            return;
        std::vector<CFileNode*> nodes;
        loaded.Root()->CollectPointers(nodes);
        before.insert(nodes.begin(), nodes.end());
    });
    if (!started) {
        std::fputs("quillory-cli: cannot start the database worker\n", stderr);
        return false;
    }
    WaitWithProgress(loader);
    const DatabaseLoadOutcome outcome = loader.Outcome();
    if (outcome.moveFailed) {
        std::fprintf(stderr,
                     "quillory-cli: %s cannot be read (%s); move it aside to start a new "
                     "database\n",
                     database.DatabasePath().c_str(), outcome.loadError.c_str());
        return false;
    }
    if (outcome.movedAside)
        std::fprintf(stderr,
                     "quillory-cli: %s cannot be read (%s); moved it to %s and built a new "
                     "database\n",
                     database.DatabasePath().c_str(), outcome.loadError.c_str(),
                     outcome.badPath.c_str());
    Summarize(context, before);
    return true;
}

// Loads "quillory.dat" as it is, without scanning; a missing file is an empty database.
bool PrepareLoadOnly(GantryContext& context) {
    CFileDatabase& database = context.database;
    database.SetGamePath(context.gamePath);
    if (platform::PathExists(database.DatabasePath())) {
        if (const DatabaseResult loaded = database.Load(); !loaded) {
            std::fprintf(stderr, "quillory-cli: %s cannot be read: %s\n", loaded.path.c_str(),
                         loaded.what.c_str());
            return false;
        }
    }
    context.loadedChangeCount = database.ChangeCount();
    return true;
}

} // namespace

int RunGantry(const Args& arguments) {
    Args args = arguments;
    GlobalOptions options;
    if (!ParseGlobalOptions(args, options)) {
        PrintUsage(stderr);
        return 2;
    }
    if (options.version) {
        PrintVersion(stdout, PROGRAM_NAME);
        return 0;
    }
    if (options.help || (!args.empty() && args.front() == "help")) {
        PrintUsage(stdout);
        return 0;
    }
    if (args.empty()) {
        PrintUsage(stderr);
        return 2;
    }
    const SubcommandEntry* subcommand = FindSubcommand(args.front());
    if (!subcommand) {
        std::fprintf(stderr, "quillory-cli: unknown gantry command '%s'\n", args.front().c_str());
        PrintUsage(stderr);
        return 2;
    }
    args.erase(args.begin());
    if (IsStandardSwitch(args))
        return AnswerSubcommandSwitch(*subcommand, args.front());

    // A player who starts the desktop program from the menu keeps its files in its data folder.
    if (options.data.empty())
        options.data =
            platform::ChooseDataFolder(platform::DefaultDataFolder(), CFileDatabase::DATABASE_FILE);
    if (!IsFolder(options.data)) {
        std::fprintf(stderr, "quillory-cli: data folder %s does not exist\n", options.data.c_str());
        return 2;
    }
    GantryContext context(options.data);
    const String game = options.game.empty() ? SettingsGameFolder(options.data) : options.game;
    if (game.empty()) {
        std::fputs("quillory-cli: no game folder: give --game DIR or set one in quillory.sav\n",
                   stderr);
        return 2;
    }
    context.gamePath = GameFolderOf(game);
    if (!IsFolder(context.gamePath)) {
        std::fprintf(stderr, "quillory-cli: game folder %s does not exist\n",
                     context.gamePath.c_str());
        return 2;
    }
    const bool loadOnly = IsLoadOnly(subcommand->name);
    if (!(loadOnly ? PrepareLoadOnly(context) : Prepare(context)))
        return 1;
    const int result = subcommand->run(context, args);
    if (loadOnly)
        return result;
    // Bad input leaves everything as it was, the scan's findings included.
    if (result == 2)
        return result;
    if (!SaveIfChanged(context))
        return 1;
    return result;
}

} // namespace quillory::cli
