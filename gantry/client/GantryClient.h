#pragma once
// The download engine: fetches every offered package flagged for download, one after another,
// into a temporary file in the data folder, and installs each while the next one downloads.
// The object is the transfer thread (its queue takes GANTRY_CMD_DOWNLOAD and GANTRY_CMD_QUIT);
// a second thread, the download worker, walks the list. A display reads Progress() on its own
// timer; neither thread touches a window.

#include "common/Types.h"
#include "gantry/client/DownloadProgress.h"
#include "gantry/db/FileDatabase.h"
#include "platform/EventHandle.h"
#include "platform/Http.h"
#include "platform/Lock.h"
#include "platform/WorkerThread.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

namespace quillory {

constexpr uint32_t GANTRY_CMD_DOWNLOAD = 1;
constexpr uint32_t GANTRY_CMD_QUIT = 100;

class CGantryClient final : public CWorkerThread {
public:
    static constexpr const char* kSessionFailedText =
        "Fatal error: the download library could not be loaded";

    // Called once on the download worker thread when all work has ended. It must not call
    // Close (the window queues its close from it).
    using DoneCallback = std::function<void()>;
    // Installs one arrived archive; the default is InstallPackage on the database.
    using InstallFunction = std::function<bool(
        const String& archivePath, std::atomic<uint64_t>& installDone,
        std::atomic<uint64_t>& installTotal, const CPackage& offered, String& error)>;

    // Temporary files go into `dataFolder` (empty: the current folder).
    CGantryClient(CFileDatabase& db, String dataFolder, DoneCallback onDone = {},
                  platform::HttpOptions http = {});
    // Acts as Close().
    ~CGantryClient() override;

    // Test seam; set before Begin.
    void SetInstallFunction(InstallFunction install) { install_ = std::move(install); }

    // Zeroes the counters and starts both threads; false when already begun.
    bool Begin();
    // False when the transfer library could not be set up: every transfer then fails.
    bool SessionValid() const { return session_ && session_->IsValid(); }
    // Why not, when SessionValid is false after Begin.
    String SessionError() const { return session_ ? String(session_->Error()) : String(); }
    // The threads stop at their next check; the installation in hand stops after its entry in
    // hand and is undone, while packages installed before it stay.
    void Cancel() { cancelRequested_ = true; }
    bool CancelRequested() const { return cancelRequested_; }
    // Waits for both threads; while work is under way it first acts as Cancel.
    void Close();
    // True once the download worker has finished its run.
    bool Finished() const { return finished_; }
    // Set (and left set) when the download worker has finished, for a front end to wait on.
    CWaitableEvent& FinishedEvent() { return finishedEvent_.Native(); }

    DownloadProgress Progress() const;
    std::vector<DownloadOutcome> Outcomes() const;

    // A transfer that breaks off (connection lost, stalled, a 5xx answer) is tried again this
    // many times, after a pause of 1 s, then 2 s, then 4 s, continuing from the bytes in hand.
    static constexpr int kRetries = 3;
    static constexpr uint32_t kFirstRetryPauseMs = 1000;

    // The file beside a partial download that names its URL and the server's ETag or
    // Last-Modified date, so that a later run continues it only while the file is the same.
    static String ResumeInfoPath(const String& temporaryPath);

    // The most bytes taken for an archive announced as `announced` bytes: a quarter more, and
    // at least 1 MiB more, so a description a little out of date still downloads while an
    // endless or oversized body stops long before it fills the disk.
    static uint64_t BodyLimit(uint64_t announced);

    // "12.34 kb/sec" for a rate in bytes per tenth of a second.
    static String RateText(uint32_t rate);
    // The local name a URL downloads to: its last piece with the extension replaced by
    // ".tmp". Characters no file name may hold become '_', and an empty piece "download.tmp",
    // so the file always lands in the data folder.
    static String TemporaryName(std::string_view url);

protected:
    uint32_t Run() override;

private:
    // What a partial temporary file holds: its length and the validator it was sent under.
    struct Partial {
        uint64_t bytes = 0;
        String validator; // ETag or Last-Modified; empty: it cannot be continued
    };
    enum class AttemptEnd { Arrived, Cancelled, Retry, StartOver, Failed };

    void Transfer();
    AttemptEnd Attempt(const String& url, const String& path, uint64_t limit, Partial& partial,
                       String& error);
    // The bytes a partial download left for `url` at `path`, when they can be continued.
    Partial ReadPartial(const String& url, const String& path, uint64_t limit) const;
    bool WaitBeforeRetry(int retry) const;
    // Takes back the bytes of the current file from the counters: it starts over.
    void Rewind();
    void DownloadWorker();
    void InstallArrived(const Handle<CPackage>& record, const String& path, size_t outcome);
    // The temporary name in the data folder; one equal to `avoid`, or a name without ".tmp"
    // that an existing file holds, gets '~' before its extension until it is free.
    String TemporaryPath(std::string_view url, const String& avoid) const;
    void SetName(String& field, const String& name);
    void EndTransfer(bool failed, bool arrived, const String& error);

    CFileDatabase& db_;
    String dataFolder_;
    DoneCallback onDone_;
    InstallFunction install_;
    platform::HttpOptions httpOptions_;
    std::unique_ptr<platform::CHttpSession> session_;

    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> transferFailed_{false};
    std::atomic<bool> transferArrived_{false};
    std::atomic<bool> finished_{false};
    CEventHandle finishedEvent_{false, true};
    std::atomic<uint32_t> rate_{0};
    CEventHandle transferDone_;
    String currentUrl_;    // handed to the transfer thread through the queue
    String temporaryName_; // likewise
    mutable CLock nameLock_;
    String downloadingName_;
    String installingName_;
    std::atomic<uint64_t> totalSize_{0}, totalDone_{0};
    std::atomic<uint64_t> currentSize_{0}, currentDone_{0};
    std::atomic<uint64_t> installDone_{0}, installTotal_{0};
    mutable CLock resultLock_;
    String transferError_;
    std::vector<DownloadOutcome> outcomes_;
    std::thread worker_;
    bool begun_ = false;
};

} // namespace quillory
