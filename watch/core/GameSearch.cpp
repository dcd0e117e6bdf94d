#include "watch/core/GameSearch.h"

#include "common/AsciiCase.h"
#include "platform/FixedDisks.h"
#include "platform/WineRegistry.h"
#include "watch/core/GameLauncher.h"
#include "watch/core/WinePrefixes.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

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

// The folder with links and "." resolved, so that one folder reached two ways is listed once.
String RealFolder(const String& folder) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(folder, error);
    return error ? folder : real.string();
}

} // namespace

CGameSearch::~CGameSearch() {
    StopAndWait();
}

void CGameSearch::StopAndWait() {
    Stop();
    if (thread_.joinable())
        thread_.join();
}

CGameSearch::Places CGameSearch::ThisMachine() {
    return {WinePrefixDrives(platform::HomeFolder(), platform::WinePrefixVariable()),
            FixedDiskRoots(), MountPoints()};
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

bool CGameSearch::Start(Places places) {
    if (searching_ || thread_.joinable())
        return false;
    places_ = std::move(places);
    for (String& point : places_.mountPoints)
        point = WithoutTrailingSeparator(point);
    {
        std::lock_guard guard(lock_);
        found_.clear();
        foundReal_.clear();
    }
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

std::vector<String> CGameSearch::FoundFolders() {
    std::lock_guard guard(lock_);
    return found_;
}

void CGameSearch::Run() {
    for (const std::vector<String>* list : {&places_.prefixes, &places_.roots})
        for (const String& place : *list)
            SearchPlace(place);
    searching_ = 0;
}

void CGameSearch::SearchPlace(const String& place) {
    if (stopRequest_)
        return;
    rootDevice_ = platform::DeviceOf(place).value_or(0);
    depth_ = 0;
    Walk(place, nullptr);
}

bool CGameSearch::MayEnter(const String& folder) const {
    if (depth_ >= MAX_DEPTH)
        return false;
    const auto& points = places_.mountPoints;
    if (std::find(points.begin(), points.end(), folder) != points.end())
        return false;
    auto device = platform::DeviceOf(folder);
    return device && *device == rootDevice_;
}

int CGameSearch::EnterFolder(const String& folder) {
    {
        std::lock_guard guard(lock_);
        current_ = folder;
    }
    ++depth_;
    const int result = Walk(folder + '/', nullptr);
    --depth_;
    return result == WALK_STOP ? WALK_STOP : WALK_CONTINUE;
}

void CGameSearch::AddFound(const String& folder) {
    String real = RealFolder(folder);
    std::lock_guard guard(lock_);
    if (std::find(foundReal_.begin(), foundReal_.end(), real) != foundReal_.end())
        return;
    foundReal_.push_back(std::move(real));
    found_.push_back(folder);
}

int CGameSearch::OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                         void*) {
    if (stopRequest_)
        return WALK_STOP;
    if (code != WALK_ENTRY || !entry)
        return WALK_CONTINUE; // a folder that cannot be listed is passed over
    if (entryHook)
        entryHook(entryPath);
    // Links to folders come as system entries: never followed, so no link leads in a loop.
    if (entry->hidden || entry->system)
        return WALK_CONTINUE;
    if (entry->directory)
        return MayEnter(entryPath) ? EnterFolder(entryPath) : WALK_CONTINUE;
    if (IsGameExecutable(entry->name))
        AddFound(entryPath.substr(0, entryPath.find_last_of("/\\") + 1));
    return WALK_CONTINUE;
}

} // namespace quillory
