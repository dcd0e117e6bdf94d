#include "platform/FileSystem.h"

#include "common/AsciiCase.h"
#include "platform/NameIndex.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace quillory::platform {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

FsResult FromErrno(int error) {
    switch (error) {
    case 0:
        return FsResult::Ok;
    case ENOENT:
        return FsResult::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return FsResult::PathNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case ETXTBSY:
    case EISDIR:
        return FsResult::AccessDenied;
    case EXDEV:
        return FsResult::NotSameDevice;
    case EROFS:
        return FsResult::WriteProtect;
    case ENOSPC:
    case EDQUOT:
        return FsResult::DiskFull;
    case ENOTEMPTY:
        return FsResult::DirNotEmpty;
    case EEXIST:
        return FsResult::AlreadyExists;
    default:
        return FsResult::GeneralFailure;
    }
}

bool Lstat(const std::string& path, struct stat& st) {
    return ::lstat(path.c_str(), &st) == 0;
}

// The first entry of `folder` (native, empty for the current directory) whose name equals
// `name` ignoring case.
std::optional<std::string> FindNoCaseIn(const std::string& folder, std::string_view name,
                                        CNameIndex* index) {
    if (index)
        return index->Find(folder, name);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (EqualsNoCase(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// A native path split into its folder (with its final separator, or empty) and last name, with
// trailing separators dropped first.
struct SplitPath {
    std::string folder;
    std::string name;
};

SplitPath SplitLast(std::string_view path) {
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return {"", native};
    return {native.substr(0, slash + 1), native.substr(slash + 1)};
}

bool FolderExists(const std::string& folder) {
    struct stat st;
    return folder.empty() || (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

// ENOENT means a missing file when the folder exists, else a missing path, as on Windows.
FsResult NotFoundIn(const std::string& resolved) {
    return FolderExists(SplitLast(resolved).folder) ? FsResult::FileNotFound
                                                    : FsResult::PathNotFound;
}

// Where a new entry `path` would go: its resolved folder, and the name as written. Gives
// AlreadyExists when the folder holds the name in any case (and the entry is not `self`).
FsResult PlaceNewEntry(std::string_view path, const std::string* self, std::string& target,
                       CNameIndex* index) {
    SplitPath split = SplitLast(path);
    if (split.name.empty() || split.name == "/")
        return FsResult::PathNotFound;
    std::string folder = ResolveCase(split.folder, index);
    if (!FolderExists(folder))
        return FsResult::PathNotFound;
    target = folder + split.name;
    struct stat st;
    std::string existing = target;
    if (!Lstat(existing, st)) {
        std::optional<std::string> other = FindNoCaseIn(folder, split.name, index);
        if (!other)
            return FsResult::Ok;
        existing = folder + *other;
        if (!Lstat(existing, st))
            return FsResult::Ok;
    }
    // Renaming an entry to itself in another letter case is allowed; anything else is taken.
    if (self && existing == *self)
        return FsResult::Ok;
    return FsResult::AlreadyExists;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    // File systems without the flag fall back to the plain call; the target was checked above.
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    return ::rename(from.c_str(), to.c_str());
}

} // namespace

std::string NativePath(std::string_view path) {
    std::string native(path);
    for (char& c : native)
        if (IsSeparator(c))
            c = '/';
    return native;
}

std::string ResolveCase(std::string_view path, CNameIndex* index) {
    std::string native = NativePath(path);
    struct stat st;
    if (native.empty() || Lstat(native, st))
        return native;
    std::string out = native[0] == '/' ? "/" : "";
    bool lookup = true; // once a segment matches nothing, nothing below it can exist
    size_t pos = out.size();
    while (pos < native.size()) {
        size_t end = native.find('/', pos);
        if (end == std::string::npos)
            end = native.size();
        std::string_view segment(native.data() + pos, end - pos);
        pos = end + 1;
        if (segment.empty())
            continue;
        std::string candidate = out + std::string(segment);
        if (lookup && segment != "." && segment != ".." && !Lstat(candidate, st)) {
            std::optional<std::string> found = FindNoCaseIn(out, segment, index);
            if (found)
                candidate = out + *found;
            else
                lookup = false;
        }
        out = candidate;
        if (end < native.size())
            out += '/';
    }
    return out;
}

FsResult RenamePath(std::string_view from, std::string_view to, CNameIndex* index) {
    std::string source = ResolveCase(from, index);
    while (source.size() > 1 && source.back() == '/')
        source.pop_back();
    struct stat st;
    if (!Lstat(source, st))
        return errno == ENOENT ? NotFoundIn(source) : FromErrno(errno);
    std::string target;
    FsResult placed = PlaceNewEntry(to, &source, target, index);
    if (placed != FsResult::Ok)
        return placed;
    if (target == source)
        return FsResult::Ok;
    if (RenameNoReplace(source, target) != 0)
        return FromErrno(errno);
    if (index) {
        index->Removed(source);
        index->Added(target);
    }
    return FsResult::Ok;
}

FsResult RemoveFile(std::string_view path, CNameIndex* index) {
    std::string resolved = ResolveCase(path, index);
    struct stat st;
    if (!Lstat(resolved, st))
        return errno == ENOENT ? NotFoundIn(resolved) : FromErrno(errno);
    if (S_ISDIR(st.st_mode))
        return FsResult::AccessDenied;
    if (::unlink(resolved.c_str()) != 0)
        return FromErrno(errno);
    if (index)
        index->Removed(resolved);
    return FsResult::Ok;
}

FsResult MakeDirectory(std::string_view path, CNameIndex* index) {
    std::string target;
    FsResult placed = PlaceNewEntry(path, nullptr, target, index);
    if (placed != FsResult::Ok)
        return placed;
    if (::mkdir(target.c_str(), 0777) != 0)
        return FromErrno(errno);
    if (index)
        index->Added(target);
    return FsResult::Ok;
}

FsResult RemoveEmptyDirectory(std::string_view path, CNameIndex* index) {
    std::string resolved = ResolveCase(path, index);
    while (resolved.size() > 1 && resolved.back() == '/')
        resolved.pop_back();
    struct stat st;
    if (!Lstat(resolved, st))
        return errno == ENOENT ? NotFoundIn(resolved) : FromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        return FsResult::NotADirectory;
    if (::rmdir(resolved.c_str()) == 0) {
        if (index)
            index->Removed(resolved);
        return FsResult::Ok;
    }
    return errno == EEXIST ? FsResult::DirNotEmpty : FromErrno(errno);
}

std::optional<FileAttributes> GetAttributes(std::string_view path) {
    std::string resolved = ResolveCase(path);
    struct stat st;
    if (::stat(resolved.c_str(), &st) != 0)
        return std::nullopt;
    FileAttributes attributes;
    attributes.directory = S_ISDIR(st.st_mode);
    attributes.system = !attributes.directory && !S_ISREG(st.st_mode);
    attributes.hidden = SplitLast(resolved).name.starts_with('.');
    attributes.readOnly = (st.st_mode & 0222) == 0;
    attributes.size = attributes.directory ? 0 : static_cast<uint64_t>(st.st_size);
    attributes.modified = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return attributes;
}

bool PathExists(std::string_view path) {
    return GetAttributes(path).has_value();
}

std::optional<uint64_t> FreeDiskSpace(std::string_view path) {
    struct statvfs vfs;
    if (::statvfs(ResolveCase(path).c_str(), &vfs) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
}

} // namespace quillory::platform
