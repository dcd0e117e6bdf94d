#pragma once
// One way to write a file so that a crash leaves either the old or the new content: the data go
// to a temporary in the same folder, are flushed and synced, and the temporary is renamed over
// the target; the folder is synced so that the rename itself survives. The temporary is removed
// whenever the save does not complete.

#include "common/FileHandle.h"
#include "platform/SaveResult.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace quillory::platform {

class CAtomicFile final {
public:
    // Points a save passes; a test may stop the process at one of them.
    enum class Step { TemporaryWritten, Replaced };

    // `temporary` empty: the target's path with ".part" appended.
    explicit CAtomicFile(std::string target, std::string temporary = std::string());
    // Removes the temporary unless Commit succeeded.
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Told each step as it is passed (for tests; empty in the program).
    void SetStepHook(std::function<void(Step)> hook) { stepHook_ = std::move(hook); }

    // Creates (or truncates) the temporary.
    SaveResult Open();
    // Appends to the temporary; a failure is kept and given by Finish or Commit.
    bool Write(const void* data, size_t size);
    // Flushes, syncs and closes the temporary; it stays under its temporary name.
    SaveResult Finish();
    // Finishes when still open, then renames the temporary over the target and syncs the folder.
    SaveResult Commit();
    // Drops the temporary; the target stays as it was.
    void Discard();

    const std::string& TargetPath() const { return target_; }
    const std::string& TemporaryPath() const { return temporary_; }

private:
    SaveResult Fail(std::string what, const std::string& path);
    void Report(Step step) const;

    std::string target_;
    std::string temporary_;
    CFileHandle file_;
    std::function<void(Step)> stepHook_;
    std::string writeError_;
    bool finished_ = false;
    bool committed_ = false;
};

// Writes `bytes` as the whole content of `path` through a CAtomicFile.
SaveResult SaveFileAtomically(const std::string& path, std::string_view bytes,
                              const std::string& temporary = std::string());

} // namespace quillory::platform
