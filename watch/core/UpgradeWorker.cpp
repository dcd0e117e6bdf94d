#include "watch/core/UpgradeWorker.h"

#include "common/FileHandle.h"
#include "common/FileTime.h"
#include "gantry/client/ZipReader.h"
#include "platform/ZlibLibrary.h"
#include "watch/core/MinisignVerifier.h"
#include "watch/core/UpgradeDownload.h"
#include "watch/core/UpgradeStaging.h"
#include "watch/core/UpgradeTexts.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace quillory {

namespace {

constexpr size_t BLOCK_SIZE = 4096;
constexpr uint8_t HOST_UNIX = 3;

String ProgressText(uint64_t bytes, std::optional<uint64_t> size) {
    if (size && *size > 0)
        return std::to_string(bytes * 100 / *size) + "% downloaded";
    return std::to_string(bytes / 1024) + " kb downloaded";
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

uint32_t ArchiveMode(const ZipEntryInfo& info) {
    return info.madeByHost == HOST_UNIX ? (info.externalAttributes >> 16) & 0777 : 0;
}

// Copies the open entry into `path`, checking its length and CRC-32; the error text or nothing.
std::optional<String> CopyEntry(CZipReader& zip, const ZipEntryInfo& info, const String& path) {
    const auto& zlib = platform::CZlibLibrary::Shared();
    if (!zlib.Loaded())
        return String(UPGRADE_EXTRACTING_DATA);
    CFileHandle file;
    if (!file.Open(path, CFileHandle::MODE_CREATE))
        return String(UPGRADE_CREATING_FILE);
    char block[BLOCK_SIZE];
    uLong crc = zlib.crc32(0L, Z_NULL, 0);
    uint64_t written = 0;
    for (;;) {
        const int64_t n = zip.ReadCurrent(block, sizeof block);
        if (n < 0 || written + uint64_t(n) > info.size)
            return String(UPGRADE_EXTRACTING_DATA);
        if (n == 0)
            break;
        if (file.Write(block, size_t(n)) != n)
            return String(UPGRADE_CREATING_FILE);
        written += uint64_t(n);
        crc = zlib.crc32(crc, reinterpret_cast<const Bytef*>(block), uInt(n));
    }
    if (!file.Close())
        return String(UPGRADE_CREATING_FILE);
    if (uint32_t(crc) != info.crc)
        return String(UPGRADE_CHECKSUM);
    return std::nullopt;
}

} // namespace

CUpgradeWorker::CUpgradeWorker(String link, Paths paths, ProgressHandler onProgress,
                               Options options)
    : link_(std::move(link)), paths_(std::move(paths)), onProgress_(std::move(onProgress)),
      options_(std::move(options)) {}

CUpgradeWorker::~CUpgradeWorker() {
    Cancel();
    Wait();
}

void CUpgradeWorker::Progress(const String& text) const {
    if (onProgress_)
        onProgress_(text);
}

int CUpgradeWorker::Fail(const char* text) const {
    Progress(String(text));
    return RESULT_FAILED;
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
    if (thread_.joinable())
        thread_.join();
    return result_.value_or(RESULT_FAILED);
}

int CUpgradeWorker::Run() {
    int result = Download();
    if (result == RESULT_OK)
        result = CheckSignature();
    if (result == RESULT_OK)
        result = Extract();
    // The archive goes whatever happened; a failed upgrade is tried afresh from the link.
    RemoveQuietly(paths_.downloadPath);
    result_ = result;
    return result;
}

int CUpgradeWorker::Download() {
    Progress(String(UPGRADE_CONNECTING));
    platform::CHttpSession session(platform::CHttpSession::kAgent, options_.http);
    if (!session.IsValid())
        return Fail(UPGRADE_INIT_FAILED);
    CUpgradeDownload download(session, cancelled_, options_.firstRetryPauseMs);
    using End = CUpgradeDownload::End;
    switch (download.ToFile(link_, paths_.downloadPath,
                            [this](uint64_t bytes, std::optional<uint64_t> size) {
                                Progress(ProgressText(bytes, size));
                            })) {
    case End::Arrived:
        return RESULT_OK;
    case End::ConnectFailed:
        return Fail(UPGRADE_CONNECT_FAILED);
    case End::WriteFailed:
        return Fail(UPGRADE_COULD_NOT_WRITE);
    case End::Cancelled:
        return Fail(UPGRADE_CANCELLED);
    case End::Failed:
        break;
    }
    return Fail(UPGRADE_DOWNLOADING_FAILED);
}

int CUpgradeWorker::CheckSignature() {
    // Nothing of the archive is opened before the signature proves where it comes from.
    const auto verifier = CMinisignVerifier::FromKeyText(options_.trustedKey);
    if (!verifier)
        return Fail(UPGRADE_SIGNATURE);
    platform::CHttpSession session(platform::CHttpSession::kAgent, options_.http);
    CUpgradeDownload download(session, cancelled_, options_.firstRetryPauseMs);
    const auto signature =
        download.Text(link_ + SIGNATURE_SUFFIX, CMinisignVerifier::kMaxSignatureText);
    if (cancelled_)
        return Fail(UPGRADE_CANCELLED);
    if (!signature || !verifier->VerifyFile(paths_.downloadPath, *signature))
        return Fail(UPGRADE_SIGNATURE);
    Progress(String(UPGRADE_EXTRACTING));
    return RESULT_OK;
}

int CUpgradeWorker::Extract() {
    CZipReader zip;
    if (!zip.Open(paths_.downloadPath))
        return Fail(UPGRADE_OPENING_ARCHIVE);
    if (!zip.ListEntries())
        return Fail(UPGRADE_READING_ARCHIVE);
    if (auto error = CheckUpgradeEntries(zip.Entries(), zip.ListDamaged(), options_.limits)) {
        Progress(*error);
        return RESULT_FAILED;
    }
    CUpgradeStaging staging(paths_.programFolder);
    if (options_.rename)
        staging.SetRenameFunction(options_.rename);
    if (!staging.Create())
        return Fail(UPGRADE_CREATING_FILE);
    if (auto error = Stage(zip, staging)) {
        Progress(*error);
        return RESULT_FAILED;
    }
    if (cancelled_)
        return Fail(UPGRADE_CANCELLED);
    if (!staging.Commit())
        return Fail(UPGRADE_CREATING_FILE);
    Progress(String(UPGRADE_RESTART));
    return RESULT_OK;
}

std::optional<String> CUpgradeWorker::Stage(CZipReader& zip, CUpgradeStaging& staging) {
    for (const ZipEntryInfo& info : zip.Entries()) {
        if (cancelled_)
            return String(UPGRADE_CANCELLED);
        if (auto error = StageEntry(zip, info, staging))
            return error;
    }
    return std::nullopt;
}

std::optional<String> CUpgradeWorker::StageEntry(CZipReader& zip, const ZipEntryInfo& info,
                                                 CUpgradeStaging& staging) {
    const String name = UpgradeEntryName(info.path);
    if (name.back() == '\\')
        return std::nullopt; // folders are not made: each file goes to one that exists
    const std::optional<String> staged = staging.Place(name, ArchiveMode(info));
    if (!staged)
        return String(UPGRADE_CREATING_FILE);
    if (!zip.OpenEntry(info))
        return String(UPGRADE_READING_ARCHIVE);
    auto error = CopyEntry(zip, info, *staged);
    zip.CloseCurrent(); // the CRC-32 is compared above, on the bytes written
    if (error)
        return error;
    SetLastWriteTime(*staged, FileTimeFromCivil(info.year, info.month, info.day, info.hour,
                                                info.minute, info.second));
    return std::nullopt;
}

} // namespace quillory
