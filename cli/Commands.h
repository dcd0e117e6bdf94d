#pragma once
// The subcommands of quillory-cli. Each takes the words after its own name and returns the
// process exit code: 0 success, 1 failure of the work, 2 bad usage or bad input.

#include <string>
#include <vector>

namespace quillory {
class CFileDatabase;
class CStopSignals;
} // namespace quillory

namespace quillory::cli {

using Args = std::vector<std::string>;

int RunQuery(const Args& args);
int RunWatch(const Args& args);
int RunGantry(const Args& args);

// Gantry subcommands that take the loaded and scanned database from the gantry dispatcher.
int RunGantryInstall(CFileDatabase& db, const Args& args);
// After the offered list was read and compared: downloads and installs the flagged packages
// (only the named ones when `only` is not empty) and saves the database.
int SyncOfferedPackages(CFileDatabase& db, const std::vector<std::string>& only,
                        CStopSignals& stop);

} // namespace quillory::cli
