#pragma once
// What every `quillory-cli gantry` subcommand works on: the data folder, the game folder and the
// database, loaded and scanned before the subcommand runs and saved afterwards when it changed.

#include "cli/Commands.h"
#include "common/Types.h"
#include "gantry/db/FileDatabase.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quillory::cli {

// The exit code of a subcommand the user stopped, as a shell reports a program ended by Ctrl-C.
inline constexpr int kExitCancelled = 130;

// What the scan before the subcommand found.
struct ScanSummary {
    uint32_t folders = 0;      // present folders below the game folder
    uint32_t files = 0;        // present files, active or inactive
    uint32_t newFiles = 0;     // files that this scan added
    uint32_t missingFiles = 0; // files the database knows but the disk no longer has
    uint32_t packages = 0;     // real packages
};

struct GantryContext {
    explicit GantryContext(const String& data) : dataFolder(data), database(data) {}
    GantryContext(const GantryContext&) = delete;
    GantryContext& operator=(const GantryContext&) = delete;

    String dataFolder; // holds "quillory.dat" and "quillory.sav"; empty for the current directory
    String gamePath;   // absolute, with its trailing separator
    CFileDatabase database;
    ScanSummary scan;
    // The database's change count as loaded: anything else means there is something to save.
    uint64_t loadedChangeCount = 0;
};

// The words and options given to a subcommand, as its line of GantrySubcommands.inc declares them.
struct GantryArgs {
    std::vector<String> words;      // PACKAGE..., PATH..., NAME, ARCHIVE... or ADDRESS[:PORT]
    bool json = false;              // --json
    bool yes = false;               // --yes
    String home;                    // --home URL
    std::optional<String> password; // --password PW
    std::vector<String> only;       // --only NAME...
};

// The signature of every subcommand. The result is the process exit code (see Commands.h).
using GantrySubcommand = int (*)(GantryContext& context, const GantryArgs& args);

// --password when given, else the password of the entry for `address` in the data folder's
// "quillory.sav", as the desktop program and `launch` use it; empty when neither has one.
String PasswordFor(const GantryContext& context, const GantryArgs& args, const String& address);

// Saves "quillory.dat"; false, said on stderr, when that failed.
bool SaveDatabase(CFileDatabase& database);

// Saves "quillory.dat" when the database differs from what was loaded; false when that failed.
bool SaveIfChanged(GantryContext& context);

// `given` as an absolute folder, as the database keeps the game folder: with its trailing
// separator.
String AbsoluteFolder(const String& given);

// The package named `name` (see CPackageCommands::FindPackage). Prints an error and gives none
// when there is no such package.
Handle<CPackage> FindPackage(CFileDatabase& database, const String& name);

// The nodes at `path` (see CPackageCommands::FindNodes). Prints an error and gives nothing when
// the database has no such path.
HandleArray<CFileNode> FindNodes(CFileDatabase& database, const String& path);

// While stderr is a terminal, shows "VERB PATH" with the path in hand from `text` until `waitFor`
// (which waits at most the time given and says whether the work has ended) is true; the loop
// ends with the work, not on its next tick. Otherwise just waits.
void WaitShowingProgress(const std::function<bool(std::chrono::milliseconds)>& waitFor,
                         const std::function<String()>& text, const char* verb);

} // namespace quillory::cli
