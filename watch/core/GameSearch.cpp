#include "watch/core/GameSearch.h"

#include "common/AsciiCase.h"
#include "platform/FixedDisks.h"
#include "watch/core/GameLauncher.h"

#include <algorithm>
#include <mutex>

namespace quillory {

namespace {

bool IsGameExecutable(const String& name) {
    return EqualsNoCase(name, EXE_IRONVALE) || EqualsNoCase(name, EXE_UPRISING);
}

String WithoutTrailingSeparator(String path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

} // namespace

CGameSearch::~CGameSearch() {
    Stop();
    if (thread_.joinable())
        thread_.join();
}

std::vector<String> CGameSearch::FixedDiskRoots() {
    return platform::FixedDiskRoots(platform::ReadMountTable());
}

std::vector<String> CGameSearch::MountPoints() {
    std::vector<String> points;
    for (const platform::MountEntry& entry : platform::ReadMountTable())
        points.push_back(entry.mountPoint);
    return points;
}

bool CGameSearch::Start(std::vector<String> roots, std::vector<String> mountPoints) {
    if (searching_ || thread_.joinable())
        return false;
    roots_ = std::move(roots);
    mountPoints_.clear();
    for (const String& point : mountPoints)
        mountPoints_.push_back(WithoutTrailingSeparator(point));
    found_.clear();
    stopRequest_ = 0;
    // Set before the thread runs, so that a look at the flag right after Start cannot take the
    // search for ended.
    searching_ = 1;
    thread_ = std::thread([this] { Run(); });
    return true;
}

bool CGameSearch::Finish() {
    if (searching_ || !thread_.joinable())
        return false;
    thread_.join();
    return true;
}

String CGameSearch::CurrentFolder() {
    std::lock_guard guard(lock_);
    return current_;
}

void CGameSearch::Run() {
    for (const String& root : roots_) {
        if (stopRequest_)
            break;
        rootDevice_ = platform::DeviceOf(root).value_or(0);
        Walk(root, nullptr);
        if (!found_.empty())
            break;
    }
    searching_ = 0;
}

bool CGameSearch::MayEnter(const String& folder) const {
    if (std::find(mountPoints_.begin(), mountPoints_.end(), folder) != mountPoints_.end())
        return false;
    auto device = platform::DeviceOf(folder);
    return device && *device == rootDevice_;
}

int CGameSearch::OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                         void*) {
    if (stopRequest_)
        return WALK_STOP;
    if (code != WALK_ENTRY || !entry)
        return WALK_CONTINUE; // a folder that cannot be listed is passed over
    if (entryHook)
        entryHook(entryPath);
    if (entry->hidden || entry->system)
        return WALK_CONTINUE;
    if (entry->directory) {
        if (!MayEnter(entryPath))
            return WALK_CONTINUE;
        {
            std::lock_guard guard(lock_);
            current_ = entryPath;
        }
        return Walk(entryPath + '/', nullptr) == WALK_STOP ? WALK_STOP : WALK_CONTINUE;
    }
    if (IsGameExecutable(entry->name)) {
        found_ = entryPath.substr(0, entryPath.find_last_of("/\\") + 1);
        return WALK_STOP;
    }
    return WALK_CONTINUE;
}

} // namespace quillory
