#include "platform/InstanceSocket.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::platform {

namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

// A folder itself (not a link to one) that belongs to this user.
bool IsOwnFolder(const String& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

String WithoutTrailingSlashes(String path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The folder of our own in the temporary folder. Anyone may create names there, so what is
// found is trusted only when it is this user's folder, and it is closed to everyone else.
String OwnTemporaryFolder(const String& folder, String& error) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + folder + ": " + std::strerror(errno);
        return String();
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        error = "cannot examine " + folder + ": " + std::strerror(errno);
        return String();
    }
    if (!S_ISDIR(info.st_mode)) {
        error = folder + " is not a folder";
        return String();
    }
    if (info.st_uid != ::geteuid()) {
        error = folder + " belongs to another user";
        return String();
    }
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        error = "cannot close " + folder + " to other users: " + std::strerror(errno);
        return String();
    }
    return folder;
}

} // namespace

String UserRuntimeFolder(const char* xdgRuntimeDir, const char* tmpDir, String& error) {
    if (IsAbsolute(xdgRuntimeDir) && IsOwnFolder(WithoutTrailingSlashes(xdgRuntimeDir)))
        return WithoutTrailingSlashes(xdgRuntimeDir);
    const String temporary = IsAbsolute(tmpDir) ? WithoutTrailingSlashes(tmpDir) : String("/tmp");
    const String separator = temporary == "/" ? "" : "/";
    return OwnTemporaryFolder(temporary + separator + "quillory-" + std::to_string(::geteuid()),
                              error);
}

String DefaultRuntimeFolder(String& error) {
    return UserRuntimeFolder(std::getenv("XDG_RUNTIME_DIR"), std::getenv("TMPDIR"), error);
}

String DataFolderTag(const String& dataFolder) {
    // FNV-1a: short, stable across versions and builds, and enough to tell folders apart.
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : dataFolder) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08" PRIx32, static_cast<uint32_t>(hash ^ (hash >> 32)));
    return text;
}

String InstanceSocketPath(const String& runtimeFolder, const char* name, const String& dataFolder) {
    return runtimeFolder + "/" + name + "-" + std::to_string(::geteuid()) + "-" +
           DataFolderTag(WithoutTrailingSlashes(dataFolder));
}

} // namespace quillory::platform
