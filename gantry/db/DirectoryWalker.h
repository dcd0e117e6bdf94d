#pragma once
// Lists one folder and hands every entry to OnEntry.

#include "common/Types.h"

namespace quillory {

namespace platform {
struct WalkEntry; // the platform's directory entry: name, attributes, size, last-write time
}

class CDirectoryWalker {
public:
    enum WalkResult { WALK_CONTINUE = 0, WALK_STOP = 2, WALK_STOP_QUIET = 3 };

    virtual ~CDirectoryWalker() = default;

    // code 1 for an entry, -1 when the listing failed (entry is then null).
    virtual int OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                        void* user) = 0;

    // `path` is a folder ending with "\" or a pattern; returns 0, 2, or OnEntry's answer to -1.
    int Walk(const String& path, void* user);
};

} // namespace quillory
