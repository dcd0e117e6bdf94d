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
    // Whether `size` and `modified` hold the entry's own values. Always so in a full listing; a
    // deferred one leaves them 0 for the entries it does not look up (see WalkDetail).
    bool detailed = true;
    uint32_t size = 0; // low 32 bits of the size
    FileTime modified = 0;
    // The listed folder as the platform holds it open, valid only while the visitor runs: a
    // reader opens the entry through it without walking the whole path again (CInputFile).
    int folderHandle = -1;
};

// Size and time of one file, as a listing reports them.
struct FileFacts {
    uint64_t size = 0;
    FileTime modified = 0;
};

enum class WalkDetail {
    // Every entry is looked up by name (one stat each) for its kind, size and time.
    Full,
    // The kind comes from the listing itself where the file system gives it there, and such
    // entries come without size and time: a caller that reads a file anyway takes them from the
    // open file (CInputFile::Describe), and only the others cost a lookup by name
    // (DescribeFile). Links, and entries whose kind the listing does not give, are looked up
    // at once, as in a full listing.
    Deferred,
    // Deferred, as on a file system whose listing gives no kinds: every entry is looked up.
    DeferredUntyped,
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
WalkResult Walk(const std::string& folder, std::string_view pattern, const WalkVisitor& visit,
                WalkDetail detail = WalkDetail::Full);

// Size and time of a file entry by its name in the listed folder (following a link, as the
// listing does), while the visitor runs. False when the entry is gone or is no regular file.
bool DescribeFile(const WalkEntry& entry, FileFacts& facts);

// Whether `name` matches `pattern` with "*" and "?" and ASCII case ignored.
bool MatchesPattern(std::string_view name, std::string_view pattern);

} // namespace quillory::platform
