#include "watch/core/UpgradeStaging.h"

#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace quillory {

namespace {

namespace fs = std::filesystem;

bool RenameFile(const String& from, const String& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool SameDevice(const String& a, const String& b) {
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev;
}

// A new folder named after `pattern` (ending in XXXXXX); empty when it could not be made.
String MakeFolder(String pattern) {
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    return pattern + '/';
}

} // namespace

CUpgradeStaging::CUpgradeStaging(String programFolder)
    : programFolder_(std::move(programFolder)), rename_(RenameFile) {}

CUpgradeStaging::~CUpgradeStaging() {
    if (folder_.empty())
        return;
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

bool CUpgradeStaging::Create() {
    std::error_code ec;
    fs::path program = fs::absolute(programFolder_.empty() ? String(".") : programFolder_, ec);
    if (ec)
        return false;
    program = program.lexically_normal();
    if (!program.has_filename())
        program = program.parent_path();
    const String parent = program.parent_path().string();
    const String besides =
        MakeFolder(parent + "/." + program.filename().string() + ".upgrade-XXXXXX");
    if (!besides.empty() && SameDevice(besides, program.string())) {
        folder_ = besides;
        return true;
    }
    if (!besides.empty())
        fs::remove(besides, ec);
    folder_ = MakeFolder(program.string() + "/.upgrade-XXXXXX");
    return !folder_.empty();
}

std::optional<String> CUpgradeStaging::Place(const String& name, uint32_t archiveMode) {
    if (folder_.empty() || name.empty() || name.back() == '\\')
        return std::nullopt;
    const String target = platform::ResolveCase(programFolder_ + name, &names_);
    if (const auto found = byTarget_.find(target); found != byTarget_.end())
        return items_[found->second].staged;
    struct stat parent {
    }, existing{};
    const String folder = fs::path(target).parent_path().string();
    if (::stat(folder.c_str(), &parent) != 0 || !S_ISDIR(parent.st_mode))
        return std::nullopt;
    Item item;
    item.target = target;
    item.staged = folder_ + std::to_string(items_.size());
    if (::lstat(target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            return std::nullopt;
        item.mode = existing.st_mode & 07777;
    } else if ((archiveMode & 0777) != 0) {
        item.mode = archiveMode & 0777;
    }
    byTarget_.emplace(target, items_.size());
    items_.push_back(std::move(item));
    return items_.back().staged;
}

bool CUpgradeStaging::Commit() {
    for (const Item& item : items_)
        if (::chmod(item.staged.c_str(), item.mode) != 0)
            return false;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (!MoveIn(items_[i], i)) {
            PutBack();
            return false;
        }
    }
    return true;
}

bool CUpgradeStaging::MoveIn(Item& item, size_t number) {
    struct stat existing {};
    if (::lstat(item.target.c_str(), &existing) == 0) {
        item.kept = folder_ + std::to_string(number) + ".old";
        if (!rename_(item.target, item.kept))
            return false;
        item.replaced = true;
    }
    if (!rename_(item.staged, item.target))
        return false;
    item.moved = true;
    return true;
}

void CUpgradeStaging::PutBack() {
    // Last moved first, so that every name ends where it was.
    for (auto item = items_.rbegin(); item != items_.rend(); ++item) {
        if (item->moved)
            RenameFile(item->target, item->staged);
        if (item->replaced)
            RenameFile(item->kept, item->target);
        item->moved = item->replaced = false;
    }
}

} // namespace quillory
