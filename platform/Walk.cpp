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

void Name(int folderFd, const char* name, WalkEntry& entry) {
    entry.name = name;
    entry.folderHandle = folderFd;
    entry.hidden = name[0] == '.';
    entry.directory = false;
    entry.system = false;
}

// Fills `entry` from the entry `name` of the open folder `folderFd`; false when it vanished.
bool Describe(int folderFd, const char* name, WalkEntry& entry) {
    struct stat st;
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    Name(folderFd, name, entry);
    entry.detailed = true;
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

// Fills `entry` from the kind that the listing gives, without a lookup; false when the listing
// does not tell (a file system without kinds) or the entry is a link, whose target decides.
bool DescribeFromListing(int folderFd, const char* name, unsigned char type, WalkEntry& entry) {
    switch (type) {
    case DT_REG:
    case DT_DIR:
    case DT_FIFO:
    case DT_CHR:
    case DT_BLK:
    case DT_SOCK:
        break;
    default:
        return false;
    }
    Name(folderFd, name, entry);
    entry.directory = type == DT_DIR;
    entry.system = type != DT_DIR && type != DT_REG;
    entry.detailed = false;
    entry.size = 0;
    entry.modified = 0;
    return true;
}

bool MatchesAll(std::string_view pattern) {
    return pattern.empty() || pattern == "*" || pattern == "*.*";
}

} // namespace

bool DescribeFile(const WalkEntry& entry, FileFacts& facts) {
    struct stat st;
    if (entry.folderHandle < 0 || ::fstatat(entry.folderHandle, entry.name.c_str(), &st, 0) != 0 ||
        !S_ISREG(st.st_mode))
        return false;
    facts.size = static_cast<uint64_t>(st.st_size);
    facts.modified = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return true;
}

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

WalkResult Walk(const std::string& folder, std::string_view pattern, const WalkVisitor& visit,
                WalkDetail detail) {
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
        const bool listed =
            detail == WalkDetail::Deferred && DescribeFromListing(fd, name, found->d_type, entry);
        if ((!listed && !Describe(fd, name, entry)) || (entry.directory && entry.hidden))
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
