#include "gantry/db/DatabaseLoader.h"

#include "common/Tick.h"
#include "platform/FileSystem.h"
#include "platform/ThreadPriority.h"

#include <filesystem>
#include <system_error>

namespace quillory {

CDatabaseLoader::CDatabaseLoader(CFileDatabase& database) : database_(database) {}

CDatabaseLoader::~CDatabaseLoader() {
    Cancel();
    Wait();
}

bool CDatabaseLoader::Start(const String& gamePath, LoadedCallback onLoaded) {
    if (started_)
        return false;
    database_.gamePath = gamePath;
    finished_ = false;
    ready_ = false;
    // Busy before the worker runs, so the window never sees a free database it does not own.
    database_.owner.Lend();
    startTick_ = TickCount();
    started_ = true; // before the worker can read it in Cancel
    try {
        thread_ = std::thread([this, onLoaded = std::move(onLoaded)] { Run(onLoaded); });
    } catch (const std::system_error&) {
        started_ = false;
        database_.owner.GiveBack();
        return false;
    }
    return true;
}

void CDatabaseLoader::Run(const LoadedCallback& onLoaded) {
    database_.owner.Take();
    // Scanning a whole installation must not slow the window or a running game.
    platform::LowerCurrentThreadPriority();
    DatabaseLoadOutcome outcome = LoadOrMoveAside();
    if (onLoaded)
        onLoaded(database_);
    database_.Scan();
    if (database_.cancelled)
        outcome.result = DatabaseLoadResult::CANCELLED;
    Finish(outcome);
}

DatabaseLoadOutcome CDatabaseLoader::LoadOrMoveAside() {
    DatabaseLoadOutcome outcome;
    outcome.result = DatabaseLoadResult::BUILT;
    const String path = database_.DatabasePath();
    if (!platform::PathExists(path))
        return outcome;
    if (database_.Load()) {
        outcome.result = DatabaseLoadResult::LOADED;
        return outcome;
    }
    // Saving the new database would overwrite the only copy of the old one: keep it aside.
    outcome.badPath = path + BAD_FILE_SUFFIX;
    std::error_code error;
    std::filesystem::rename(platform::NativePath(path), platform::NativePath(outcome.badPath),
                            error);
    outcome.movedAside = !error;
    outcome.moveFailed = static_cast<bool>(error);
    database_.keepDatabaseFile = outcome.moveFailed;
    return outcome;
}

void CDatabaseLoader::Finish(const DatabaseLoadOutcome& outcome) {
    database_.owner.GiveBack();
    std::lock_guard guard(finishMutex_);
    outcome_ = outcome;
    // A stop asked for after the walk had ended is void; left set it would stop a later scan.
    database_.cancelRequested = 0;
    ready_ = outcome.result != DatabaseLoadResult::CANCELLED;
    finished_ = true;
    finishedSignal_.notify_all();
}

String CDatabaseLoader::ScanText() const {
    std::lock_guard guard(database_.lock);
    return database_.scanText;
}

void CDatabaseLoader::Cancel() {
    std::lock_guard guard(finishMutex_);
    if (started_ && !finished_)
        database_.cancelRequested = 1;
}

void CDatabaseLoader::Wait() {
    if (thread_.joinable())
        thread_.join();
}

bool CDatabaseLoader::WaitFor(std::chrono::milliseconds timeout) {
    {
        std::unique_lock guard(finishMutex_);
        if (!started_)
            return true;
        if (!finishedSignal_.wait_for(guard, timeout, [this] { return finished_.load(); }))
            return false;
    }
    Wait();
    return true;
}

DatabaseLoadOutcome CDatabaseLoader::Outcome() const {
    std::lock_guard guard(finishMutex_);
    return outcome_;
}

} // namespace quillory
