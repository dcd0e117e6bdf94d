#pragma once
// The self-upgrade's worker: downloads the upgrade archive and its signature, checks both,
// unpacks the archive into a staging folder and moves its files into the program folder, and
// reports its progress as the Link button's text. No window is touched; the window is told the
// result through a callback when the thread ends.

#include "common/Types.h"
#include "platform/Http.h"
#include "watch/core/UpgradeEntryCheck.h"

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace quillory {

class CUpgradeStaging;
class CZipReader;

class CUpgradeWorker final {
public:
    static constexpr int RESULT_OK = 0;
    static constexpr int RESULT_FAILED = -1;
    static constexpr char DOWNLOAD_FILE[] = "quillory.ozp";
    // The signature lies at the archive's address with this added.
    static constexpr char SIGNATURE_SUFFIX[] = ".minisig";

    // Where the work reads and writes. `programFolder` ends with a separator (or is empty for
    // the current directory); the archive is downloaded to `downloadPath`.
    struct Paths {
        String programFolder;
        String downloadPath = DOWNLOAD_FILE;
    };
    struct Options {
        String trustedKey; // the text of the minisign public key file; empty trusts nothing
        UpgradeLimits limits;
        platform::HttpOptions http;
        uint32_t firstRetryPauseMs = 1000;
        // Test seam: renames of the commit (see CUpgradeStaging).
        std::function<bool(const String& from, const String& to)> rename;
    };
    // Called on the worker's thread with each progress text (the window keeps it under the
    // status lock for the Link button).
    using ProgressHandler = std::function<void(const String& text)>;
    // Called on the worker's thread with the result once the archive is deleted.
    using FinishedHandler = std::function<void(int result)>;

    CUpgradeWorker(String link, Paths paths, ProgressHandler onProgress, Options options);
    // Cancels and waits for the thread.
    ~CUpgradeWorker();
    CUpgradeWorker(const CUpgradeWorker&) = delete;
    CUpgradeWorker& operator=(const CUpgradeWorker&) = delete;

    // Runs the work on a thread of its own; false when the thread could not be made.
    bool Start(FinishedHandler onFinished);
    // Waits for the thread and returns its result (RESULT_FAILED when none ran).
    int Wait();
    // The download stops at once and nothing is written; the files' moves, once begun, end.
    void Cancel() { cancelled_ = true; }

    // The whole work on the calling thread: download, check, extract, delete the archive.
    int Run();

private:
    int Download();
    int CheckSignature();
    int Extract();
    std::optional<String> Stage(CZipReader& zip, CUpgradeStaging& staging);
    std::optional<String> StageEntry(CZipReader& zip, const ZipEntryInfo& info,
                                     CUpgradeStaging& staging);
    int Fail(const char* text) const;

    void Progress(const String& text) const;

    String link_;
    Paths paths_;
    ProgressHandler onProgress_;
    Options options_;
    std::atomic<bool> cancelled_{false};
    std::thread thread_;
    std::optional<int> result_;
};

} // namespace quillory
