#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quillory::platform {

namespace {

std::string SystemReason(int error) {
    return std::system_category().message(error);
}

std::string FolderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// The rename is only durable once the folder's entry list is on the disk.
bool SyncFolder(const std::string& folder) {
#ifdef _WIN32
    (void)folder; // NTFS journals the rename itself
    return true;
#else
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#endif
}

} // namespace

CAtomicFile::CAtomicFile(std::string target, std::string temporary)
    : target_(std::move(target)), temporary_(std::move(temporary)) {
    if (temporary_.empty())
        temporary_ = target_ + ".part";
}

CAtomicFile::~CAtomicFile() {
    if (!committed_)
        Discard();
}

SaveResult CAtomicFile::Open() {
    // No link under the temporary name is followed, nor anything but a regular file written.
    if (!file_.Open(temporary_, CFileHandle::MODE_CREATE))
        return Fail("cannot create the file (" + file_.OpenError() + ")", temporary_);
    finished_ = false;
    writeError_.clear();
    return SaveResult::Done();
}

bool CAtomicFile::Write(const void* data, size_t size) {
    if (!writeError_.empty())
        return false;
    errno = 0;
    if (!file_.IsOpen() || file_.Write(data, size) != int64_t(size)) {
        writeError_ = "cannot write the file (" + SystemReason(errno) + ")";
        return false;
    }
    return true;
}

SaveResult CAtomicFile::Finish() {
    if (finished_)
        return SaveResult::Done();
    if (!file_.IsOpen())
        return Fail("the file is not open", temporary_);
    errno = 0;
    // The data must be on the disk before the rename makes them the file.
    const bool flushed = file_.Flush();
    const int flushError = errno;
    const bool closed = file_.Close();
    if (!writeError_.empty())
        return Fail(writeError_, temporary_);
    if (!flushed || !closed)
        return Fail("cannot write the file to the disk (" + SystemReason(flushError) + ")",
                    temporary_);
    finished_ = true;
    Report(Step::TemporaryWritten);
    return SaveResult::Done();
}

SaveResult CAtomicFile::Commit() {
    if (committed_)
        return SaveResult::Done();
    if (SaveResult finished = Finish(); !finished)
        return finished;
    std::error_code error;
    std::filesystem::rename(temporary_, target_, error);
    if (error)
        return Fail("cannot replace the file (" + error.message() + ")", target_);
    committed_ = true;
    if (!SyncFolder(FolderOf(target_)))
        return SaveResult::Failed(
            "cannot write the folder to the disk (" + SystemReason(errno) + ")", target_);
    Report(Step::Replaced);
    return SaveResult::Done();
}

void CAtomicFile::Discard() {
    if (file_.IsOpen())
        file_.Close();
    std::error_code error;
    std::filesystem::remove(temporary_, error);
    finished_ = false;
}

SaveResult CAtomicFile::Fail(std::string what, const std::string& path) {
    Discard();
    return SaveResult::Failed(std::move(what), path);
}

void CAtomicFile::Report(Step step) const {
    if (stepHook_)
        stepHook_(step);
}

SaveResult SaveFileAtomically(const std::string& path, std::string_view bytes,
                              const std::string& temporary) {
    CAtomicFile file(path, temporary);
    if (SaveResult opened = file.Open(); !opened)
        return opened;
    file.Write(bytes.data(), bytes.size());
    return file.Commit();
}

} // namespace quillory::platform
