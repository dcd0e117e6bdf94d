#include "gantry/client/GantryClient.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/Tick.h"
#include "gantry/client/Installer.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
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

constexpr const char* kResumeMark = "quillory partial download";

// Two lines after the mark: the URL and the validator; written to a new name and renamed over.
bool WriteResumeInfo(const String& infoPath, const String& url, const String& validator) {
    if (validator.empty() || url.find('\n') != String::npos) {
        RemoveFile(infoPath);
        return false;
    }
    const String text = String(kResumeMark) + '\n' + url + '\n' + validator + '\n';
    return platform::SaveFileAtomically(infoPath, text, infoPath + ".new").ok;
}

bool ReadResumeInfo(const String& infoPath, String& url, String& validator) {
    std::ifstream in(infoPath, std::ios::binary);
    String mark;
    return std::getline(in, mark) && mark == kResumeMark && std::getline(in, url) &&
           std::getline(in, validator);
}

bool DefaultInstall(CFileDatabase& db, const String& path, std::atomic<uint64_t>& done,
                    std::atomic<uint64_t>& total, const CPackage& offered, String& error,
                    CInstaller::CancelCheck cancelled) {
    InstallReport report;
    bool ok = InstallPackage(db, path, done, total, &offered, &report, std::move(cancelled));
    error = report.error;
    return ok;
}

} // namespace

CGantryClient::CGantryClient(CFileDatabase& db, String dataFolder, DoneCallback onDone,
                             platform::HttpOptions http)
    : db_(db), dataFolder_(std::move(dataFolder)), onDone_(std::move(onDone)), httpOptions_(http) {
    install_ = [this](const String& path, std::atomic<uint64_t>& done, std::atomic<uint64_t>& total,
                      const CPackage& offered, String& error) {
        // A cancel undoes the package in hand; those installed before it stay.
        return DefaultInstall(db_, path, done, total, offered, error,
                              [this] { return cancelRequested_.load(); });
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
    db_.Owner().Lend();
    if (!Start()) {
        db_.Owner().GiveBack();
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
    const uint64_t limit = BodyLimit(currentSize_);
    Partial partial = ReadPartial(url, path, limit);
    currentDone_ = partial.bytes;
    totalDone_ += partial.bytes;
    String error;
    for (int retry = 0;;) {
        switch (Attempt(url, path, limit, partial, error)) {
        case AttemptEnd::Arrived:
            RemoveFile(ResumeInfoPath(path));
            return EndTransfer(false, true, String());
        case AttemptEnd::StartOver:
            // The server no longer has the file the bytes in hand came from: fetch it whole.
            Rewind();
            partial = {};
            continue;
        case AttemptEnd::Retry:
            if (retry < kRetries && WaitBeforeRetry(retry++))
                continue;
            if (!cancelRequested_)
                break;
            [[fallthrough]];
        case AttemptEnd::Cancelled:
            if (partial.validator.empty())
                RemoveFile(path);
            // A cancelled transfer is no failure of the record: the worker sees the cancel itself.
            return EndTransfer(false, false, String());
        case AttemptEnd::Failed:
            partial = {};
            break;
        }
        break;
    }
    // Bytes that can be continued stay for the next run; any others go.
    if (partial.validator.empty() || partial.bytes == 0) {
        RemoveFile(path);
        RemoveFile(ResumeInfoPath(path));
    }
    EndTransfer(true, false, error);
}

CGantryClient::AttemptEnd CGantryClient::Attempt(const String& url, const String& path,
                                                 uint64_t limit, Partial& partial, String& error) {
    platform::HttpRequest request;
    // Without a validator nothing proves the bytes in hand are of the file now served.
    request.resumeFrom = partial.validator.empty() ? 0 : partial.bytes;
    request.ifRange = partial.validator;
    uint64_t last = currentDone_;
    uint32_t start = TickCount();
    CFileHandle file;
    bool created = false;
    bool writeFailed = false;
    bool startOver = false;
    String tooLong;

    auto onStart = [&](const platform::HttpBodyStart& body) {
        if (body.offset != 0 &&
            (body.offset != partial.bytes ||
             (body.etag != partial.validator && body.lastModified != partial.validator))) {
            startOver = true; // a part, but not the one asked for or of another file
            return false;
        }
        if (body.offset == 0)
            Rewind(); // the whole file comes: the bytes in hand go
        if (body.size && body.offset + *body.size > limit) {
            tooLong = OversizeText("announces a body of", body.offset + *body.size, currentSize_);
            return false;
        }
        partial.bytes = body.offset;
        partial.validator = platform::ValidatorOf(body);
        if (!WriteResumeInfo(ResumeInfoPath(path), url, partial.validator))
            partial.validator.clear();
        created =
            file.Open(path, body.offset == 0 ? CFileHandle::MODE_CREATE : CFileHandle::MODE_APPEND);
        start = TickCount();
        last = currentDone_;
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
        partial.bytes += n;
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

    platform::HttpResult result = session_->Fetch(url, request, onBlock, onStart, cancelled);
    const bool closed = file.Close();
    if (result.Ok() && closed)
        return AttemptEnd::Arrived;
    if (startOver || (request.resumeFrom > 0 && result.responseCode == 416))
        return AttemptEnd::StartOver;
    error = result.message;
    if (!tooLong.empty())
        error = tooLong;
    else if (writeFailed || !closed)
        error = "cannot write the temporary file " + path;
    else if (!created && result.status == platform::HttpStatus::Refused)
        error = "cannot create the temporary file " + path + " (" + file.OpenError() + ")";
    else if (result.status == platform::HttpStatus::Cancelled)
        return AttemptEnd::Cancelled;
    else if (platform::IsWorthRetrying(result))
        return AttemptEnd::Retry;
    return AttemptEnd::Failed;
}

CGantryClient::Partial CGantryClient::ReadPartial(const String& url, const String& path,
                                                  uint64_t limit) const {
    Partial partial;
    String savedUrl, validator;
    if (!ReadResumeInfo(ResumeInfoPath(path), savedUrl, validator) || savedUrl != url)
        return partial;
    // Only a regular file of our own is continued; a link is not followed to learn a size.
    std::error_code ec;
    const auto kind = std::filesystem::symlink_status(path, ec).type();
    const uint64_t bytes = std::filesystem::file_size(path, ec);
    if (ec || kind != std::filesystem::file_type::regular || bytes == 0 || bytes > limit ||
        validator.empty())
        return partial;
    partial.bytes = bytes;
    partial.validator = validator;
    return partial;
}

bool CGantryClient::WaitBeforeRetry(int retry) const {
    constexpr uint32_t kSlice = 50;
    for (uint32_t waited = 0; waited < (kFirstRetryPauseMs << retry); waited += kSlice) {
        if (cancelRequested_)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kSlice));
    }
    return !cancelRequested_;
}

void CGantryClient::Rewind() {
    totalDone_ -= std::min<uint64_t>(currentDone_, totalDone_);
    currentDone_ = 0;
}

void CGantryClient::EndTransfer(bool failed, bool arrived, const String& error) {
    // Bytes a transfer did not receive count as done, so the Total bar always reaches its end.
    const uint64_t done = currentDone_;
    totalDone_ += currentSize_ > done ? currentSize_ - done : 0;
    rate_ = 0;
    {
        std::lock_guard guard(resultLock_);
        transferError_ = failed ? error : String();
    }
    transferArrived_ = arrived;
    transferFailed_ = failed;
    transferDone_.Set();
}

void CGantryClient::DownloadWorker() {
    db_.Owner().Take();
    const HandleArray<CPackage> records = db_.OfferedPackages();
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
            if (transferArrived_)
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
    db_.Owner().GiveBack();
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
    // A name holding a partial download of this very URL is ours to continue.
    auto ours = [&](const String& path) {
        String savedUrl, validator;
        return ReadResumeInfo(ResumeInfoPath(path), savedUrl, validator) && savedUrl == url;
    };
    auto taken = [&](const String& path) {
        return EqualsNoCase(path, avoid) || (!ownName && platform::PathExists(path) && !ours(path));
    };
    auto next = [](String file) {
        size_t dot = file.rfind('.');
        file.insert(dot == String::npos ? file.size() : dot, "~");
        return file;
    };
    // A partial download of this URL may lie under a later name, taken when another package
    // held the first one: continue it there.
    for (String file = name; platform::PathExists(pathOf(file)); file = next(file))
        if (ours(pathOf(file)) && !EqualsNoCase(pathOf(file), avoid))
            return pathOf(file);
    while (taken(pathOf(name)))
        name = next(name);
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

String CGantryClient::ResumeInfoPath(const String& temporaryPath) {
    return temporaryPath + ".resume";
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
