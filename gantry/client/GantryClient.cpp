#include "gantry/client/GantryClient.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/Tick.h"
#include "gantry/client/Installer.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

namespace quillory {

namespace {

bool IsForbiddenInName(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' ||
           c == '|' || c == '?' || c == '*';
}

// "the server sent more than 1049576 bytes for an archive of 1000 bytes"
String OversizeText(const char* what, uint64_t bytes, uint64_t announced) {
    return "the server " + String(what) + " " + std::to_string(bytes) +
           " bytes for an archive of " + std::to_string(announced) + " bytes";
}

void RemoveFile(const String& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

bool DefaultInstall(CFileDatabase& db, const String& path, std::atomic<uint64_t>& done,
                    std::atomic<uint64_t>& total, const CPackage& offered, String& error) {
    InstallReport report;
    bool ok = InstallPackage(db, path, done, total, &offered, &report);
    error = report.error;
    return ok;
}

} // namespace

CGantryClient::CGantryClient(CFileDatabase& db, String dataFolder, DoneCallback onDone,
                             platform::HttpOptions http)
    : db_(db), dataFolder_(std::move(dataFolder)), onDone_(std::move(onDone)), httpOptions_(http) {
    install_ = [this](const String& path, std::atomic<uint64_t>& done, std::atomic<uint64_t>& total,
                      const CPackage& offered, String& error) {
        return DefaultInstall(db_, path, done, total, offered, error);
    };
}

CGantryClient::~CGantryClient() {
    Close();
}

bool CGantryClient::Begin() {
    if (begun_)
        return false;
    begun_ = true;
    cancelRequested_ = false;
    totalSize_ = totalDone_ = currentSize_ = currentDone_ = installDone_ = installTotal_ = 0;
    transferFailed_ = false;
    rate_ = 0;
    session_ =
        std::make_unique<platform::CHttpSession>(platform::CHttpSession::kAgent, httpOptions_);
    // The database is the download worker's from now until it has finished.
    db_.owner.Lend();
    if (!Start()) {
        db_.owner.GiveBack();
        finished_ = true;
        finishedEvent_.Set();
        return false;
    }
    worker_ = std::thread([this] { DownloadWorker(); });
    return true;
}

void CGantryClient::Close() {
    if (worker_.joinable()) {
        // A worker waiting for a transfer would never end once the transfer thread has quit,
        // so a close during work acts as Cancel and lets the worker finish first.
        if (!finished_)
            Cancel();
        worker_.join();
    }
    Post(GANTRY_CMD_QUIT);
    CloseThreadHandle();
}

uint32_t CGantryClient::Run() {
    uint32_t code = 0;
    for (Get(code); code != GANTRY_CMD_QUIT; Get(code))
        if (code == GANTRY_CMD_DOWNLOAD)
            Transfer();
    return 0;
}

void CGantryClient::Transfer() {
    const String url = currentUrl_;
    const String path = temporaryName_;
    uint64_t remaining = currentSize_;
    uint64_t last = 0;
    uint32_t start = TickCount();
    const uint64_t limit = BodyLimit(currentSize_);
    CFileHandle file;
    bool created = false;
    bool writeFailed = false;
    String tooLong;

    auto onOpen = [&](std::optional<uint64_t> size) {
        if (size && *size > limit) {
            tooLong = OversizeText("announces a body of", *size, currentSize_);
            return false;
        }
        created = file.Open(path, CFileHandle::MODE_CREATE);
        start = TickCount();
        return created;
    };
    auto onBlock = [&](const char* data, size_t n) {
        if (currentDone_ + n > limit) {
            tooLong = OversizeText("sent more than", limit, currentSize_);
            return false;
        }
        if (file.Write(data, n) != static_cast<int64_t>(n)) {
            writeFailed = true;
            return false;
        }
        totalDone_ += n;
        currentDone_ += n;
        remaining -= std::min<uint64_t>(n, remaining);
        uint32_t now = TickCount();
        uint32_t elapsed = TicksSince(now, start);
        if (elapsed >= 1000) {
            rate_ = static_cast<uint32_t>((currentDone_ - last) / (elapsed / 100));
            start = now;
            last = currentDone_;
        }
        return true;
    };
    auto cancelled = [this] { return cancelRequested_.load(); };

    platform::HttpResult result = session_->Fetch(url, onBlock, onOpen, cancelled);
    bool closed = file.Close();
    if (result.Ok() && closed)
        return EndTransfer(false, remaining, String());
    if (created)
        RemoveFile(path);
    String error = result.message;
    if (!tooLong.empty())
        error = tooLong;
    else if (!created && result.status == platform::HttpStatus::Refused)
        error = "cannot create the temporary file " + path;
    else if (writeFailed || !closed)
        error = "cannot write the temporary file " + path;
    // A cancelled transfer is no failure of the record: the worker sees the cancel itself.
    EndTransfer(result.status != platform::HttpStatus::Cancelled, remaining, error);
}

void CGantryClient::EndTransfer(bool failed, uint64_t remaining, const String& error) {
    // Bytes a transfer did not receive count as done, so the Total bar always reaches its end.
    totalDone_ += remaining;
    rate_ = 0;
    {
        std::lock_guard guard(resultLock_);
        transferError_ = failed ? error : String();
    }
    transferFailed_ = failed;
    transferDone_.Set();
}

void CGantryClient::DownloadWorker() {
    db_.owner.Take();
    const HandleArray<CPackage> records = db_.offeredPackages;
    uint64_t total = 0;
    for (const auto& record : records)
        if (record->needsDownload)
            total += record->archiveSize;
    totalSize_ = total;

    Handle<CPackage> pending;
    String pendingPath;
    size_t pendingOutcome = 0;
    for (const auto& record : records) {
        if (!record->needsDownload)
            continue;
        if (cancelRequested_)
            break; // no further record is started
        currentUrl_ = record->archivePath;
        temporaryName_ = TemporaryPath(record->archivePath, pendingPath);
        currentSize_ = record->archiveSize;
        currentDone_ = 0;
        SetName(downloadingName_, record->name);
        size_t outcome;
        {
            std::lock_guard guard(resultLock_);
            outcome = outcomes_.size();
            outcomes_.push_back({record->name, record->archivePath, false, false, String()});
        }
        Post(GANTRY_CMD_DOWNLOAD);
        if (pending) {
            InstallArrived(pending, pendingPath, pendingOutcome);
            pending.reset();
            pendingPath.clear();
        }
        transferDone_.Wait(WAIT_FOREVER);
        if (cancelRequested_) {
            if (!transferFailed_)
                RemoveFile(temporaryName_); // arrived but never to be installed
            break;
        }
        if (!transferFailed_) {
            pending = record;
            pendingPath = temporaryName_;
            pendingOutcome = outcome;
            record->needsDownload = 0;
            std::lock_guard guard(resultLock_);
            outcomes_[outcome].arrived = true;
        } else {
            transferFailed_ = false;
            std::lock_guard guard(resultLock_);
            outcomes_[outcome].error = transferError_;
        }
    }
    if (pending && !cancelRequested_)
        InstallArrived(pending, pendingPath, pendingOutcome);
    else if (pending)
        RemoveFile(pendingPath);
    Post(GANTRY_CMD_QUIT);
    db_.owner.GiveBack();
    finished_ = true;
    finishedEvent_.Set();
    if (onDone_)
        onDone_();
}

void CGantryClient::InstallArrived(const Handle<CPackage>& record, const String& path,
                                   size_t outcome) {
    SetName(installingName_, record->name);
    String error;
    // The result changes nothing here: the record is unflagged and its file goes either way.
    bool ok = install_(path, installDone_, installTotal_, *record, error);
    RemoveFile(path);
    std::lock_guard guard(resultLock_);
    outcomes_[outcome].installed = ok;
    if (!ok)
        outcomes_[outcome].error = error.empty() ? String("installation failed") : error;
}

String CGantryClient::TemporaryPath(std::string_view url, const String& avoid) const {
    String name = TemporaryName(url);
    auto pathOf = [this](const String& file) {
        return dataFolder_.empty() ? file : (std::filesystem::path(dataFolder_) / file).string();
    };
    // Two packages whose URLs end alike must not share a file while one installs. A ".tmp" name
    // is the engine's own and may replace a stale copy; a name kept whole (no '.' in the URL)
    // could be any file of the data folder, the user's own, and is never truncated or deleted.
    const bool ownName = EndsWithNoCase(name, ".tmp");
    auto taken = [&](const String& path) {
        return EqualsNoCase(path, avoid) || (!ownName && platform::PathExists(path));
    };
    while (taken(pathOf(name))) {
        size_t dot = name.rfind('.');
        name.insert(dot == String::npos ? name.size() : dot, "~");
    }
    return pathOf(name);
}

void CGantryClient::SetName(String& field, const String& name) {
    std::lock_guard guard(nameLock_);
    field = name;
}

DownloadProgress CGantryClient::Progress() const {
    DownloadProgress p;
    p.totalSize = totalSize_;
    p.totalDone = totalDone_;
    p.currentSize = currentSize_;
    p.currentDone = currentDone_;
    p.installTotal = installTotal_;
    p.installDone = installDone_;
    p.rate = rate_;
    std::lock_guard guard(nameLock_);
    p.downloadingName = downloadingName_;
    p.installingName = installingName_;
    return p;
}

std::vector<DownloadOutcome> CGantryClient::Outcomes() const {
    std::lock_guard guard(resultLock_);
    return outcomes_;
}

uint64_t CGantryClient::BodyLimit(uint64_t announced) {
    constexpr uint64_t kLeastMargin = uint64_t(1) << 20;
    return announced + std::max(announced / 4, kLeastMargin);
}

String CGantryClient::RateText(uint32_t rate) {
    String digits = std::to_string(rate);
    while (digits.size() < 3)
        digits.insert(0, "0");
    digits.insert(digits.size() - 2, ".");
    return digits + " kb/sec";
}

String CGantryClient::TemporaryName(std::string_view url) {
    size_t slash = url.find_last_of("/\\");
    String name(slash == std::string_view::npos ? url : url.substr(slash + 1));
    size_t dot = name.rfind('.');
    if (dot != String::npos)
        name = name.substr(0, dot) + ".tmp";
    for (char& c : name)
        if (IsForbiddenInName(c))
            c = '_';
    return name.empty() ? String("download.tmp") : name;
}

} // namespace quillory
