#include "watch/core/WinePrefixes.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quillory {

namespace {

namespace fs = std::filesystem;

// Folders below `home` that hold one prefix each, and the part below each that is the prefix.
struct PrefixFamily {
    const char* parent;
    const char* inside;
};

constexpr PrefixFamily LAUNCHER_FAMILIES[] = {
    {"Games", ""},                                // Lutris
    {".local/share/bottles/bottles", ""},         // Bottles
    {".steam/steam/steamapps/compatdata", "pfx"}, // Steam Proton
    {".local/share/Steam/steamapps/compatdata", "pfx"},
    {".PlayOnLinux/wineprefix", ""}, // PlayOnLinux
};

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The sub-folders of `parent`, sorted by name so that the list does not change between runs.
std::vector<fs::path> SubFolders(const fs::path& parent) {
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error))
        if (IsFolder(it->path()))
            folders.push_back(it->path());
    std::sort(folders.begin(), folders.end());
    return folders;
}

class PrefixList {
public:
    void Add(const fs::path& prefix) {
        const fs::path drive = prefix / "drive_c";
        if (!IsFolder(drive))
            return;
        std::error_code error;
        const fs::path real = fs::canonical(drive, error);
        if (error || std::find(real_.begin(), real_.end(), real) != real_.end())
            return;
        real_.push_back(real);
        drives_.push_back(drive.string() + '/');
    }
    std::vector<String> Take() { return std::move(drives_); }

private:
    std::vector<fs::path> real_;
    std::vector<String> drives_;
};

} // namespace

std::vector<String> WinePrefixDrives(const String& home, const String& winePrefix) {
    PrefixList list;
    if (!winePrefix.empty())
        list.Add(fs::path(winePrefix));
    if (home.empty())
        return list.Take();
    const fs::path homePath(home);
    list.Add(homePath / ".wine");
    for (const PrefixFamily& family : LAUNCHER_FAMILIES)
        for (const fs::path& folder : SubFolders(homePath / family.parent))
            list.Add(*family.inside ? folder / family.inside : folder);
    return list.Take();
}

} // namespace quillory
