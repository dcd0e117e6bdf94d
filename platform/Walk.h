#pragma once
// Directory listing in the shape the scanner expects from the Windows find functions.

#include "common/FileTime.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quillory::platform {

// One entry of a folder listing.
struct WalkEntry {
    std::string name;
    bool directory = false;
    bool hidden = false; // the name begins with "."
    bool system = false; // neither a regular file nor a directory, or a link to a directory
    uint32_t size = 0;   // low 32 bits of the size
    FileTime modified = 0;
    // The listed folder as the platform holds it open, valid only while the visitor runs: a
    // reader opens the entry through it without walking the whole path again (CInputFile).
    int folderHandle = -1;
};

enum class WalkResult {
    Finished, // every entry was reported
    Stopped,  // the visitor asked to stop
    Failed,   // the folder could not be opened, or the listing broke off with an error
};

// Returns false to stop the listing.
using WalkVisitor = std::function<bool(const WalkEntry&)>;

// Lists the folder `folder` (either separator; letter case resolved as on Windows) in the file
// system's own order and reports every entry whose name matches `pattern` ("*" and "?"
// wildcards, letter case ignored). Directories whose name begins with "." are left out. Symbolic
// links to directories are reported as directories with the system flag, so nobody descends
// them; links to files report the file they point at.
WalkResult Walk(const std::string& folder, std::string_view pattern, const WalkVisitor& visit);

// Whether `name` matches `pattern` with "*" and "?" and ASCII case ignored.
bool MatchesPattern(std::string_view name, std::string_view pattern);

} // namespace quillory::platform
