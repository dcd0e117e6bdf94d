#pragma once
// The database start-up worker: on its own thread, at the lowest priority, loads "quillory.dat"
// and then scans the game folder. An unreadable "quillory.dat" is moved aside to
// "quillory.dat.bad" (replacing an older one) and the database is built anew by the scan, so
// the file is never lost and never keeps the program from starting.
//
// Threads: Start, Cancel, Wait and the readers are called on the front end's thread (the
// window's, or the CLI's main thread); the worker owns the database from Start until Finished()
// turns true (see CFileDatabase). The flags are atomics that a timer may read without a lock.

#include "common/Types.h"
#include "gantry/db/FileDatabase.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace quillory {

// How the start-up ended.
enum class DatabaseLoadResult {
    NOT_FINISHED, // the worker has not finished yet (or was never started)
    LOADED,       // "quillory.dat" was read, then the scan ran to its end
    BUILT,        // there was no readable "quillory.dat": the scan built the database from nothing
    CANCELLED,    // the scan was stopped on request; Gantry stays unavailable for this run
};

struct DatabaseLoadOutcome {
    DatabaseLoadResult result = DatabaseLoadResult::NOT_FINISHED;
    // "quillory.dat" existed but could not be read: it was moved to `badPath`, replacing an older
    // copy there. Front ends say so once.
    bool movedAside = false;
    // It could not be read and could not be moved either. It is still in place, and the
    // database's Save refuses to replace it (KeepDatabaseFile()) for the rest of the run.
    bool moveFailed = false;
    String badPath;
    // Why "quillory.dat" could not be read, when it could not.
    String loadError;
};

class CDatabaseLoader final {
public:
    // Called on the worker's thread after the load and before the scan.
    using LoadedCallback = std::function<void(CFileDatabase&)>;

    static constexpr const char* BAD_FILE_SUFFIX = ".bad";

    // How the worker's thread runs: below everything else, so that the window and a running
    // game never wait for a scan; or as its caller, for a front end that does nothing but wait
    // for the result (the command line), where a busy machine would otherwise starve it.
    enum class Priority { LOWEST, CALLER };

    explicit CDatabaseLoader(CFileDatabase& database, Priority priority = Priority::LOWEST);
    // Acts as Cancel() and Wait(), as the window does when it closes.
    ~CDatabaseLoader();
    CDatabaseLoader(const CDatabaseLoader&) = delete;
    CDatabaseLoader& operator=(const CDatabaseLoader&) = delete;

    // Sets the database's game folder, lends the database to the worker and starts it. False
    // when a worker was already started or the thread could not be created (the database then
    // stays with the caller and Gantry is not ready).
    bool Start(const String& gamePath, LoadedCallback onLoaded = {});
    // Whether Start succeeded; the window waits for the worker on closing only then.
    bool Started() const { return started_; }
    // The tick count when Start ran, for the scan wait dialog's 2 s trigger.
    uint32_t StartTick() const { return startTick_; }

    // True once the worker is done; the database is the caller's again from then on.
    bool Finished() const { return finished_; }
    // True once the worker finished without the scan being stopped.
    bool GantryReady() const { return ready_; }
    // The path being scanned, copied under the database's lock.
    String ScanText() const;
    // Asks the scan to stop (the wait dialog's Skip, and closing); it stops within one entry
    // or one read block. Does nothing once the worker has finished.
    void Cancel();
    // Waits for the worker without a time limit; returns at once when none was started.
    void Wait();
    // Waits at most `timeout`; true once the worker has finished. Returns as soon as the work
    // ends, so a front end's progress loop never outlives it.
    bool WaitFor(std::chrono::milliseconds timeout);
    // Valid once Finished().
    DatabaseLoadOutcome Outcome() const;

private:
    void Run(const LoadedCallback& onLoaded);
    DatabaseLoadOutcome LoadOrMoveAside();
    void Finish(const DatabaseLoadOutcome& outcome);

    CFileDatabase& database_;
    const Priority priority_;
    std::thread thread_;
    bool started_ = false;
    uint32_t startTick_ = 0;
    std::atomic<bool> finished_{false};
    std::atomic<bool> ready_{false};
    // Keeps a late Cancel from leaving a stop request behind for a later scan.
    mutable std::mutex finishMutex_;
    std::condition_variable finishedSignal_; // with finishMutex_
    DatabaseLoadOutcome outcome_;            // written by the worker before `finished_`
};

} // namespace quillory
