#include "watch/core/InstallKind.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

namespace quillory {

namespace {

// Checked with the effective ids, as the rename that replaces the file would be.
bool Writable(const String& path) {
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

} // namespace

InstallKind DetectInstallKind(const String& programPath) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(programPath, ec);
    const String path = ec ? programPath : absolute.lexically_normal().string();
    if (path.starts_with("/usr/"))
        return InstallKind::PACKAGE_MANAGER;
    String folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty())
        folder = ".";
    if (!Writable(path) || !Writable(folder))
        return InstallKind::PACKAGE_MANAGER;
    return InstallKind::UNPACKED;
}

} // namespace quillory
