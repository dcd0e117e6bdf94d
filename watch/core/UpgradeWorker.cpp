#include "watch/core/UpgradeWorker.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/FileTime.h"
#include "gantry/client/ZipReader.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/Http.h"
#include "platform/ZlibLibrary.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace quillory {

namespace {

constexpr size_t BLOCK_SIZE = 4096;
constexpr char RUNNING_PROGRAM[] = "quillory.exe";
// The running program cannot be replaced: the setup program moves this into place.
constexpr char NEW_PROGRAM[] = "quillory.x";
// Extracted files wait under this suffix until every entry is in, so that a failed upgrade
// leaves the program as it was.
constexpr char PENDING_SUFFIX[] = ".upgrade~";

constexpr char TEXT_CONNECTING[] = "Connecting";
constexpr char TEXT_INIT_FAILED[] = "Error: init failed";
constexpr char TEXT_CONNECT_FAILED[] = "Error: connect failed";
constexpr char TEXT_COULD_NOT_WRITE[] = "Error: could not write";
constexpr char TEXT_DOWNLOADING_FAILED[] = "Error: Downloading file";
constexpr char TEXT_EXTRACTING[] = "Extracting files";
constexpr char TEXT_OPENING_ARCHIVE[] = "Error: opening archive";
constexpr char TEXT_READING_ARCHIVE[] = "Error: reading archive";
constexpr char TEXT_CREATING_FILE[] = "Error: creating file";
constexpr char TEXT_EXTRACTING_DATA[] = "Error: extracting data";
constexpr char TEXT_CHECKSUM[] = "Error: checksum failed";
constexpr char TEXT_RESTART[] = "Restart";

String ProgressText(uint64_t bytes, std::optional<uint64_t> size) {
    if (size && *size > 0)
        return std::to_string(bytes * 100 / *size) + "% downloaded";
    return std::to_string(bytes / 1024) + " kb downloaded";
}

// An entry name may only name a place inside the program folder: no root, no drive, no "..".
bool SafeEntryName(const String& name) {
    if (name.empty() || name[0] == '\\' || name.find(':') != String::npos)
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find('\\', start);
        if (name.compare(start, end == String::npos ? String::npos : end - start, "..") == 0)
            return false;
        if (end == String::npos)
            return true;
        start = end + 1;
    }
}

String WindowsName(String name) {
    for (char& c : name)
        if (c == '/')
            c = '\\';
    return name;
}

bool IsFolderEntry(const String& name) {
    return !name.empty() && name.back() == '\\';
}

// The archive's stored time, taken as UTC without conversion.
void SetLastWriteTime(const String& path, FileTime time) {
    if (time == 0)
        return;
    int64_t seconds = 0, nanoseconds = 0;
    UnixFromFileTime(time, seconds, nanoseconds);
    const auto sys = std::chrono::sys_seconds(std::chrono::seconds(seconds)) +
                     std::chrono::nanoseconds(nanoseconds);
    std::error_code ignored;
    std::filesystem::last_write_time(
        path,
        std::chrono::file_clock::from_sys(
            std::chrono::time_point_cast<std::chrono::file_clock::duration>(sys)),
        ignored);
}

void RemoveQuietly(const String& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

// One extraction: the files written so far, under their pending names.
class CExtraction final {
public:
    CExtraction(CZipReader& zip, String programFolder)
        : zip_(zip), programFolder_(std::move(programFolder)) {}

    // Every entry name checked before anything is written; the error text or nothing.
    std::optional<String> CheckNames() {
        ZipEntryInfo info;
        for (bool more = zip_.GoToFirst(); more; more = zip_.GoToNext()) {
            if (!zip_.CurrentInfo(info) || info.pathTooLong)
                return String(TEXT_READING_ARCHIVE);
            if (!SafeEntryName(WindowsName(info.path)))
                return String(TEXT_CREATING_FILE);
        }
        return std::nullopt;
    }

    std::optional<String> ExtractAll() {
        if (!zip_.GoToFirst())
            return String(TEXT_READING_ARCHIVE);
        do {
            if (auto error = ExtractCurrent())
                return error;
        } while (zip_.GoToNext());
        return Commit();
    }

private:
    std::optional<String> ExtractCurrent() {
        ZipEntryInfo info;
        if (!zip_.CurrentInfo(info) || info.pathTooLong)
            return String(TEXT_READING_ARCHIVE);
        String name = WindowsName(info.path);
        if (IsFolderEntry(name))
            return std::nullopt; // folders are not made: each file goes to one that exists
        if (EqualsNoCase(name, RUNNING_PROGRAM))
            name = NEW_PROGRAM;
        if (!zip_.OpenCurrent())
            return String(TEXT_READING_ARCHIVE);
        platform::CAtomicFile& file = PendingFile(platform::ResolveCase(programFolder_ + name));
        auto error = CopyCurrent(file, info.crc);
        zip_.CloseCurrent(); // the CRC-32 is compared above, on the bytes written
        if (error)
            return error;
        SetLastWriteTime(file.TemporaryPath(),
                         FileTimeFromCivil(info.year, info.month, info.day, info.hour, info.minute,
                                           info.second));
        return std::nullopt;
    }

    // A name the archive holds twice is written twice but moved into place once.
    platform::CAtomicFile& PendingFile(const String& target) {
        for (const auto& file : written_)
            if (file->TargetPath() == target)
                return *file;
        written_.push_back(
            std::make_unique<platform::CAtomicFile>(target, target + PENDING_SUFFIX));
        return *written_.back();
    }

    std::optional<String> CopyCurrent(platform::CAtomicFile& file, uint32_t storedCrc) {
        const auto& zlib = platform::CZlibLibrary::Shared();
        if (!zlib.Loaded())
            return String(TEXT_EXTRACTING_DATA);
        if (!file.Open())
            return String(TEXT_CREATING_FILE);
        char block[BLOCK_SIZE];
        uLong crc = zlib.crc32(0L, Z_NULL, 0);
        for (;;) {
            const int64_t n = zip_.ReadCurrent(block, sizeof block);
            if (n < 0)
                return String(TEXT_EXTRACTING_DATA);
            if (n == 0)
                break;
            if (!file.Write(block, size_t(n)))
                return String(TEXT_CREATING_FILE);
            crc = zlib.crc32(crc, reinterpret_cast<const Bytef*>(block), uInt(n));
        }
        if (!file.Finish())
            return String(TEXT_CREATING_FILE);
        if (uint32_t(crc) != storedCrc)
            return String(TEXT_CHECKSUM);
        return std::nullopt;
    }

    // Every entry is in: the pending files take the places of the old ones.
    std::optional<String> Commit() {
        for (const auto& file : written_)
            if (!file->Commit())
                return String(TEXT_CREATING_FILE);
        written_.clear();
        return std::nullopt;
    }

    CZipReader& zip_;
    String programFolder_;
    // Removed under their pending names unless committed.
    std::vector<std::unique_ptr<platform::CAtomicFile>> written_;
};

} // namespace

CUpgradeWorker::CUpgradeWorker(String link, Paths paths, ProgressHandler onProgress)
    : link_(std::move(link)), paths_(std::move(paths)), onProgress_(std::move(onProgress)) {}

void CUpgradeWorker::Progress(const String& text) const {
    if (onProgress_)
        onProgress_(text);
}

CUpgradeWorker::~CUpgradeWorker() {
    Wait();
}

bool CUpgradeWorker::Start(FinishedHandler onFinished) {
    if (thread_.joinable())
        return false;
    try {
        thread_ = std::thread([this, onFinished = std::move(onFinished)] {
            const int result = Run();
            if (onFinished)
                onFinished(result);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

int CUpgradeWorker::Wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return result_.value_or(RESULT_FAILED);
}

int CUpgradeWorker::Run() {
    int result = Download();
    if (result == RESULT_OK)
        result = Extract();
    // The archive goes whatever happened; a failed upgrade is tried afresh from the link.
    RemoveQuietly(paths_.downloadPath);
    result_ = result;
    return result;
}

int CUpgradeWorker::Download() {
    Progress(String(TEXT_CONNECTING));
    platform::CHttpSession session;
    if (!session.IsValid()) {
        Progress(String(TEXT_INIT_FAILED));
        return RESULT_FAILED;
    }
    CFileHandle file;
    bool opened = false;
    bool writeFailed = false;
    std::optional<uint64_t> size;
    uint64_t received = 0;
    const auto onOpen = [&](std::optional<uint64_t> announced) {
        opened = true;
        size = announced;
        writeFailed = !file.Open(paths_.downloadPath, CFileHandle::MODE_CREATE);
        return !writeFailed;
    };
    const auto onBlock = [&](const char* data, size_t count) {
        if (file.Write(data, count) != int64_t(count)) {
            writeFailed = true;
            return false;
        }
        received += count;
        Progress(ProgressText(received, size));
        return true;
    };
    const platform::HttpResult fetched = session.Fetch(link_, onBlock, onOpen);
    const bool closed = file.Close() || !opened;
    if (writeFailed || (fetched.Ok() && !closed)) {
        Progress(String(TEXT_COULD_NOT_WRITE));
        return RESULT_FAILED;
    }
    if (!fetched.Ok()) {
        Progress(String(opened ? TEXT_DOWNLOADING_FAILED : TEXT_CONNECT_FAILED));
        return RESULT_FAILED;
    }
    Progress(String(TEXT_EXTRACTING));
    return RESULT_OK;
}

int CUpgradeWorker::Extract() {
    CZipReader zip;
    if (!zip.Open(paths_.downloadPath)) {
        Progress(String(TEXT_OPENING_ARCHIVE));
        return RESULT_FAILED;
    }
    CExtraction extraction(zip, paths_.programFolder);
    auto error = extraction.CheckNames();
    if (!error)
        error = extraction.ExtractAll();
    if (error) {
        Progress(*error);
        return RESULT_FAILED;
    }
    Progress(String(TEXT_RESTART));
    return RESULT_OK;
}

String CUpgradeWorker::SetupCommandLine(const String& programFolder,
                                        const String& currentDirectory) {
    return "\"" + programFolder + SETUP_PROGRAM + "\" \"" + currentDirectory + "\"";
}

} // namespace quillory
