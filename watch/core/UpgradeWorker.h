#pragma once
// The self-upgrade's worker: downloads the upgrade archive, unpacks it into the program folder
// and reports its progress as the Link button's text. No window is touched; the window is
// told the result through a callback when the thread ends.

#include "common/Types.h"

#include <functional>
#include <optional>
#include <thread>

namespace quillory {

class CUpgradeWorker final {
public:
    static constexpr int RESULT_OK = 0;
    static constexpr int RESULT_FAILED = -1;
    static constexpr char DOWNLOAD_FILE[] = "quillory.ozp";
    static constexpr char SETUP_PROGRAM[] = "quillorysetup.exe";

    // Where the work reads and writes. `programFolder` ends with a separator (or is empty for
    // the current directory); the archive is downloaded to `downloadPath`.
    struct Paths {
        String programFolder;
        String downloadPath = DOWNLOAD_FILE;
    };
    // Called on the worker's thread with each progress text (the window keeps it under the
    // status lock for the Link button).
    using ProgressHandler = std::function<void(const String& text)>;
    // Called on the worker's thread with the result once the archive is deleted.
    using FinishedHandler = std::function<void(int result)>;

    CUpgradeWorker(String link, Paths paths, ProgressHandler onProgress);
    // Waits for the thread.
    ~CUpgradeWorker();
    CUpgradeWorker(const CUpgradeWorker&) = delete;
    CUpgradeWorker& operator=(const CUpgradeWorker&) = delete;

    // Runs the work on a thread of its own; false when the thread could not be made.
    bool Start(FinishedHandler onFinished);
    // Waits for the thread and returns its result (RESULT_FAILED when none ran).
    int Wait();

    // The whole work on the calling thread: download, extract, delete the archive.
    int Run();

    // The setup program's command line: it gets the program folder and the current directory.
    static String SetupCommandLine(const String& programFolder, const String& currentDirectory);

private:
    int Download();
    int Extract();

    void Progress(const String& text) const;

    String link_;
    Paths paths_;
    ProgressHandler onProgress_;
    std::thread thread_;
    std::optional<int> result_;
};

} // namespace quillory
