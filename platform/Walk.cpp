#include "platform/Walk.h"

#include "common/AsciiCase.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace quillory::platform {

namespace {

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Fills `entry` from the entry `name` of the open folder `folderFd`; false when it vanished.
bool Describe(int folderFd, const char* name, WalkEntry& entry) {
    struct stat st;
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    entry.name = name;
    entry.folderHandle = folderFd;
    entry.hidden = name[0] == '.';
    entry.directory = false;
    entry.system = false;
    if (S_ISLNK(st.st_mode)) {
        // A link to a file stands for that file; a link to a folder is never descended.
        if (::fstatat(folderFd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) {
            entry.directory = S_ISDIR(st.st_mode);
            entry.system = true;
        }
    } else if (S_ISDIR(st.st_mode)) {
        entry.directory = true;
    } else if (!S_ISREG(st.st_mode)) {
        entry.system = true;
    }
    entry.size = entry.directory ? 0 : static_cast<uint32_t>(st.st_size);
    entry.modified = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return true;
}

bool MatchesAll(std::string_view pattern) {
    return pattern.empty() || pattern == "*" || pattern == "*.*";
}

} // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    if (MatchesAll(pattern))
        return true;
    // Greedy match that backtracks to the last "*" seen.
    size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || ToLowerAscii(pattern[p]) == ToLowerAscii(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

WalkResult Walk(const std::string& folder, std::string_view pattern, const WalkVisitor& visit) {
    std::string native = ResolveCase(folder);
    DIR* dir = ::opendir(native.empty() ? "." : native.c_str());
    if (!dir)
        return WalkResult::Failed;
    const int fd = ::dirfd(dir);
    const bool all = MatchesAll(pattern);
    WalkResult result = WalkResult::Finished;
    WalkEntry entry;
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(dir);
        if (!found) {
            if (errno != 0)
                result = WalkResult::Failed;
            break;
        }
        const char* name = found->d_name;
        if (IsDotOrDotDot(name) || (!all && !MatchesPattern(name, pattern)))
            continue;
        if (!Describe(fd, name, entry) || (entry.directory && entry.hidden))
            continue;
        if (!visit(entry)) {
            result = WalkResult::Stopped;
            break;
        }
    }
    ::closedir(dir);
    return result;
}

} // namespace quillory::platform
