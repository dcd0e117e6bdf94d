#pragma once
// A file read once from its start to its end, straight from the system without stdio's buffer:
// the scanner and verify read tens of thousands of small files, and every system call per file
// shows in their time.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Walk.h"

namespace quillory::platform {

class CInputFile final {
public:
    enum OpenResult {
        OPEN_OK,
        OPEN_NOT_FOUND, // no such file, in any letter case
        OPEN_FAILED,    // it exists but cannot be opened (permissions, ...)
    };

    CInputFile() = default;
    ~CInputFile();
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    // Opens `path` (either separator) by its exact name first, which is what a walk hands over,
    // and only when that does not exist looks for it in another letter case, as Windows would.
    OpenResult Open(std::string_view path);
    // Opens a file entry of a folder listing while its visitor runs, relative to the open
    // folder: the first scan opens tens of thousands of files, and each full path costs a lookup
    // of every folder on it.
    // A pipe put in the entry's place does not block the open.
    OpenResult Open(const WalkEntry& entry);
    // Size and time of the open file, as a listing reports them: a reader that opens the file
    // anyway saves the lookup by name, and what it reads belongs to the size and time it
    // records even when the name is replaced meanwhile. False when it is no regular file.
    bool Describe(FileFacts& facts) const;
    // The count read (0 at the end), or -1 (also for a folder).
    int64_t Read(void* buffer, size_t count);
    void Close();

private:
    int fd_ = -1;
};

} // namespace quillory::platform
