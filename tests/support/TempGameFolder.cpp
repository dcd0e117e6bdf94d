#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace quillory::test {

TempGameFolder::TempGameFolder() {
    std::string pattern = (fs::temp_directory_path() / "quillory-game-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot create a temporary game folder";
        return;
    }
    path_ = pattern + "/";
}

TempGameFolder::~TempGameFolder() {
    if (path_.empty())
        return;
    for (const std::string& folder : locked_)
        ::chmod(folder.c_str(), 0755);
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempGameFolder::operator/(std::string_view relative) const {
    std::string native = path_ + std::string(relative);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

void TempGameFolder::Write(std::string_view relative, std::string_view content) const {
    const fs::path target = *this / relative;
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << target;
}

void TempGameFolder::MakeFolder(std::string_view relative) const {
    std::error_code error;
    fs::create_directories(*this / relative, error);
    if (error)
        ADD_FAILURE() << "cannot create " << (*this / relative);
}

std::string TempGameFolder::Read(std::string_view relative) const {
    std::ifstream in(*this / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempGameFolder::Exists(std::string_view relative) const {
    struct stat st;
    return ::lstat((*this / relative).c_str(), &st) == 0;
}

void TempGameFolder::SetTime(std::string_view relative, int64_t unixSeconds,
                             long nanoseconds) const {
    const struct timespec times[2] = {{static_cast<time_t>(unixSeconds), nanoseconds},
                                      {static_cast<time_t>(unixSeconds), nanoseconds}};
    if (::utimensat(AT_FDCWD, (*this / relative).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        ADD_FAILURE() << "cannot set the time of " << (*this / relative);
}

void TempGameFolder::Remove(std::string_view relative) const {
    std::error_code error;
    fs::remove_all(*this / relative, error);
}

void TempGameFolder::Move(std::string_view from, std::string_view to) const {
    std::error_code error;
    fs::create_directories(fs::path(*this / to).parent_path(), error);
    fs::rename(*this / from, *this / to, error);
    if (error)
        ADD_FAILURE() << "cannot move " << (*this / from) << " to " << (*this / to);
}

void TempGameFolder::Lock(std::string_view relative) {
    const std::string folder = *this / relative;
    if (::chmod(folder.c_str(), 0) != 0)
        ADD_FAILURE() << "cannot lock " << folder;
    locked_.push_back(folder);
}

std::vector<std::string> TempGameFolder::List(std::string_view relative) const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(*this / relative, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void TempGameFolder::BuildInstallation() {
    for (const char* file : InstallationLayout::kCoreFiles)
        Write(file, std::string("core:") + file);
    for (const char* file : InstallationLayout::kUnknownAddons)
        Write(file, std::string("addon:") + file);
    for (const char* file : InstallationLayout::kUnknownFiles)
        Write(file, std::string("unknown:") + file);
    for (const char* file : InstallationLayout::kLeftOut)
        Write(file, std::string("left out:") + file);
    for (const char* file : InstallationLayout::kHidden)
        Write(file, std::string("hidden:") + file);
    Write(InstallationLayout::kUnreadableFile, "secret");
    Lock(InstallationLayout::kUnreadable);
}

} // namespace quillory::test
