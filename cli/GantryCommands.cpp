// quillory-cli gantry: loads the database, scans the game folder, runs one subcommand and saves
// what it changed.
#include "cli/CommandHelp.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/GantryContext.h"
#include "gantry/db/DatabaseLoader.h"

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "watch/core/GameFolderLookup.h"
#include "watch/core/GameLauncher.h"
#include "watch/core/SettingsFile.h"

#include <chrono>
#include <cstdio>
#include <optional>

namespace quillory::cli {

#define QUILLORY_GANTRY_SUBCOMMAND(name, function, usage, takes)                                   \
    int function(GantryContext&, const GantryArgs&);
#include "cli/GantrySubcommands.inc"
#undef QUILLORY_GANTRY_SUBCOMMAND

namespace {

// What a subcommand takes on its command line.
enum GantryTakes : unsigned {
    kWord = 1u << 0,     // at most one word
    kWords = 1u << 1,    // any number of words
    kAddress = 1u << 2,  // exactly one word, ADDRESS[:PORT], after all options
    kJson = 1u << 3,     // --json
    kYes = 1u << 4,      // --yes
    kHome = 1u << 5,     // --home URL
    kPassword = 1u << 6, // --password PW
    kOnly = 1u << 7,     // --only NAME...
};

struct SubcommandEntry {
    const char* name;
    GantrySubcommand run;
    const char* usage;
    unsigned takes;
};

constexpr SubcommandEntry kSubcommands[] = {
#define QUILLORY_GANTRY_SUBCOMMAND(name, function, usage, takes) {name, function, usage, takes},
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

String Usage() {
    String usage = String(kUsageLead) + "COMMAND ...\n" + kOptionsHelp + "commands:\n";
    for (const SubcommandEntry& entry : kSubcommands)
        usage += String("  ") + entry.usage + "\n";
    return usage;
}

CommandTexts SubcommandTexts(const SubcommandEntry& entry) {
    const String usage = kUsageLead + String(entry.usage) + "\n";
    return {usage,
            usage + kOptionsHelp +
                "\nExit status: 0 done, 1 the work failed, 2 bad input (nothing changed).\n"};
}

const SubcommandEntry* FindSubcommand(const String& name) {
    for (const SubcommandEntry& entry : kSubcommands)
        if (name == entry.name)
            return &entry;
    return nullptr;
}

// Declares what `takes` names, read into `args`.
void DeclareSubcommand(CLI::App& app, unsigned takes, GantryArgs& args) {
    PrepareCommandLine(app);
    auto oneWord = [&args](const String& word) { args.words = {word}; };
    if (takes & kWords)
        app.add_option("WORDS", args.words);
    if (takes & kWord)
        app.add_option_function<String>("WORD", oneWord);
    if (takes & kAddress)
        app.add_option_function<String>("ADDRESS", oneWord)->required();
    if (takes & kJson)
        app.add_flag("--json", args.json);
    if (takes & kYes)
        app.add_flag("--yes", args.yes);
    if (takes & kHome)
        app.add_option("--home", args.home);
    if (takes & kPassword)
        app.add_option_function<String>("--password",
                                        [&args](const String& pw) { args.password = pw; });
    // Names up to the next option; the address after them is not one of them.
    if (takes & kOnly)
        app.add_option("--only", args.only)
            ->expected(1, -1)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

struct GlobalOptions {
    String game;
    String data;
    std::vector<String> rest; // the subcommand's name and its words
};

// Options before the subcommand's name; the exit code when the command must end.
std::optional<int> ParseGlobalOptions(const Args& args, GlobalOptions& options) {
    CLI::App app;
    PrepareCommandLine(app);
    app.prefix_command(); // the first word that is not an option ends ours
    app.add_option("--game", options.game);
    app.add_option("--data", options.data);
    const CommandTexts texts = {Usage(), Usage()};
    if (auto exitCode = ParseCommandLine(app, args, texts))
        return exitCode;
    options.rest = app.remaining();
    if (!options.rest.empty() && options.rest.front().starts_with("-")) {
        std::fprintf(stderr, "quillory-cli: unknown option %s\n%s", options.rest.front().c_str(),
                     texts.usage.c_str());
        return 2;
    }
    return std::nullopt;
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

// File nodes below `folder`, present or missing.
uint32_t CountFiles(const CFileNode& folder) {
    uint32_t files = 0;
    for (const auto& child : folder.children)
        files += child->IsFolder() ? CountFiles(*child) : 1;
    return files;
}

// Counts the nodes below `folder` into `summary`; `allFiles` takes every file node.
void CountNodes(const CFileNode& folder, ScanSummary& summary, uint32_t& allFiles) {
    for (const auto& child : folder.children) {
        const CFileNode& node = *child;
        if (node.IsFolder()) {
            summary.folders += node.status != NS_MISSING;
            CountNodes(node, summary, allFiles);
            continue;
        }
        ++allFiles;
        if (node.status == NS_MISSING)
            ++summary.missingFiles;
        else
            ++summary.files;
    }
}

// `loadedFiles`: the file nodes the database held before the scan. A scan adds nodes and never
// takes one out (only a save prunes), so the files it added are the difference; a set of every
// loaded node would cost more than the rest of a rescan's summary.
void Summarize(GantryContext& context, uint32_t loadedFiles) {
    const CFileDatabase& database = context.database;
    ScanSummary summary;
    uint32_t allFiles = 0;
    if (database.Root())
        CountNodes(*database.Root(), summary, allFiles);
    summary.newFiles = allFiles > loadedFiles ? allFiles - loadedFiles : 0;
    summary.packages =
        static_cast<uint32_t>(database.Packages().size() - CFileDatabase::PSEUDO_PACKAGE_COUNT);
    context.scan = summary;
}

// Loads "quillory.dat" and scans, through the same worker as the desktop program. An unreadable
// file is moved aside and the database built anew; one that cannot be moved stops the command.
bool Prepare(GantryContext& context) {
    CFileDatabase& database = context.database;
    uint32_t loadedFiles = 0;
    // The command only waits for the worker: at the lowest priority a busy machine kept it
    // waiting many times as long as the scan's own work.
    CDatabaseLoader loader(database, CDatabaseLoader::Priority::CALLER);
    const bool started = loader.Start(context.gamePath, [&](CFileDatabase& loaded) {
        context.loadedChangeCount = loaded.ChangeCount();
        if (loaded.Root())
            loadedFiles = CountFiles(*loaded.Root());
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
    Summarize(context, loadedFiles);
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

int RunGantry(const Args& args) {
    GlobalOptions options;
    if (auto exitCode = ParseGlobalOptions(args, options))
        return *exitCode;
    const Args& rest = options.rest;
    if (!rest.empty() && rest.front() == "help") {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (rest.empty()) {
        std::fputs(Usage().c_str(), stderr);
        return 2;
    }
    const SubcommandEntry* subcommand = FindSubcommand(rest.front());
    if (!subcommand) {
        std::fprintf(stderr, "quillory-cli: unknown gantry command '%s'\n%s", rest.front().c_str(),
                     Usage().c_str());
        return 2;
    }
    // Read, and --help and --version answered, before any folder is looked at.
    GantryArgs subcommandArgs;
    CLI::App app;
    DeclareSubcommand(app, subcommand->takes, subcommandArgs);
    if (auto exitCode =
            ParseCommandLine(app, Args(rest.begin() + 1, rest.end()), SubcommandTexts(*subcommand)))
        return *exitCode;

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
    context.gamePath = AbsoluteFolder(game);
    // The stored folder is trusted only as `launch` trusts it: a folder that does not hold the
    // game (say "/") would have its whole tree scanned and written into the database.
    if (options.game.empty() && !HasGameExecutable(context.gamePath)) {
        std::fprintf(stderr,
                     "quillory-cli: the game folder stored in quillory.sav, %s, does not hold "
                     "%s or %s: give --game DIR\n",
                     context.gamePath.c_str(), EXE_IRONVALE, EXE_UPRISING);
        return 2;
    }
    if (!IsFolder(context.gamePath)) {
        std::fprintf(stderr, "quillory-cli: game folder %s does not exist\n",
                     context.gamePath.c_str());
        return 2;
    }
    const bool loadOnly = IsLoadOnly(subcommand->name);
    if (!(loadOnly ? PrepareLoadOnly(context) : Prepare(context)))
        return 1;
    const int result = subcommand->run(context, subcommandArgs);
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
