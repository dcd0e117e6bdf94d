#pragma once
// Lists a folder and hands every entry to a derived class, which decides whether to descend.

#include "common/Types.h"
#include "platform/Walk.h"

namespace quillory {

class CDirectoryWalker {
public:
    // Codes passed to OnEntry.
    static constexpr int WALK_ENTRY = 1;   // one entry of the listing
    static constexpr int WALK_FAILED = -1; // the folder could not be listed (no entry)

    // What OnEntry returns.
    static constexpr int WALK_CONTINUE = 0;
    static constexpr int WALK_STOP = 2;       // stop; Walk returns 2
    static constexpr int WALK_STOP_QUIET = 3; // stop; Walk returns 0

    virtual ~CDirectoryWalker() = default;

    // Lists one folder. `path` is a folder ending with a separator ("\" or "/"), which lists
    // everything, or a folder followed by a pattern with "*" and "?". For every entry OnEntry
    // gets WALK_ENTRY, the folder part of `path` followed by the entry's name, the entry and
    // `user`. A folder that cannot be listed, or whose listing breaks off, gives one call with
    // WALK_FAILED and no entry, and Walk returns what that call returns. `detail` says how much
    // of each entry is looked up before OnEntry sees it (platform::WalkDetail).
    int Walk(const String& path, void* user,
             platform::WalkDetail detail = platform::WalkDetail::Full);

    virtual int OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                        void* user) = 0;
};

} // namespace quillory
