#include "platform/DataFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::platform {

namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

bool IsDirectory(const String& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const String& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// "/" alone becomes empty, so that appending "/name" gives "/name".
String WithoutTrailingSlashes(String path) {
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

// mkdir -p, each new folder 0700 as the XDG rules ask of folders made on the user's behalf.
bool MakeFolders(const String& folder, String& error) {
    for (size_t end = 1; end <= folder.size(); ++end) {
        if (end < folder.size() && folder[end] != '/')
            continue;
        const String part = folder.substr(0, end);
        if (IsDirectory(part))
            continue;
        if (::mkdir(part.c_str(), 0700) != 0 && !(errno == EEXIST && IsDirectory(part))) {
            error = "cannot create the data folder " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

} // namespace

String DataFolderFor(const char* xdgDataHome, const char* home) {
    if (IsAbsolute(xdgDataHome))
        return WithoutTrailingSlashes(xdgDataHome) + "/" + DATA_FOLDER_NAME;
    if (IsAbsolute(home))
        return WithoutTrailingSlashes(home) + "/.local/share/" + DATA_FOLDER_NAME;
    return String();
}

String DefaultDataFolder() {
    return DataFolderFor(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

bool EnterDataFolder(const String& folder, String& error) {
    if (folder.empty()) {
        error = "no data folder: neither XDG_DATA_HOME nor HOME names an absolute folder";
        return false;
    }
    if (!MakeFolders(folder, error))
        return false;
    if (::chdir(folder.c_str()) != 0) {
        error = "cannot enter the data folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

String ChooseDataFolder(const String& dataFolder, const char* fileName) {
    if (dataFolder.empty() || IsRegularFile(fileName) ||
        !IsRegularFile(dataFolder + "/" + fileName))
        return String();
    return dataFolder;
}

} // namespace quillory::platform
