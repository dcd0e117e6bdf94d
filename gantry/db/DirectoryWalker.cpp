#include "gantry/db/DirectoryWalker.h"

namespace quillory {

int CDirectoryWalker::Walk(const String& path, void* user, platform::WalkDetail detail) {
    const size_t cut = path.find_last_of("\\/");
    const String folder = cut == String::npos ? String() : path.substr(0, cut + 1);
    const String pattern = cut == String::npos ? path : path.substr(cut + 1);

    int stopCode = WALK_CONTINUE;
    String entryPath;
    const platform::WalkResult result = platform::Walk(
        folder, pattern,
        [&](const platform::WalkEntry& entry) {
            entryPath.assign(folder).append(entry.name);
            stopCode = OnEntry(WALK_ENTRY, entryPath, &entry, user);
            return stopCode != WALK_STOP && stopCode != WALK_STOP_QUIET;
        },
        detail);
    switch (result) {
    case platform::WalkResult::Failed:
        return OnEntry(WALK_FAILED, path, nullptr, user);
    case platform::WalkResult::Stopped:
        return stopCode == WALK_STOP ? WALK_STOP : 0;
    case platform::WalkResult::Finished:
        break;
    }
    return 0;
}

} // namespace quillory
