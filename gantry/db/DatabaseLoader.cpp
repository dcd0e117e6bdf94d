#include "gantry/db/DatabaseLoader.h"

#include "common/Tick.h"
#include "platform/FileSystem.h"
#include "platform/ThreadPriority.h"

#include <filesystem>
#include <system_error>

namespace quillory {

CDatabaseLoader::CDatabaseLoader(CFileDatabase& database, Priority priority)
    : database_(database), priority_(priority) {}

CDatabaseLoader::~CDatabaseLoader() {
    Cancel();
    Wait();
}

bool CDatabaseLoader::Start(const String& gamePath, LoadedCallback onLoaded) {
    if (started_)
        return false;
    database_.SetGamePath(gamePath);
    finished_ = false;
    ready_ = false;
    // Busy before the worker runs, so the window never sees a free database it does not own.
    database_.Owner().Lend();
    startTick_ = TickCount();
    started_ = true; // before the worker can read it in Cancel
    try {
        thread_ = std::thread([this, onLoaded = std::move(onLoaded)] { Run(onLoaded); });
    } catch (const std::system_error&) {
        started_ = false;
        database_.Owner().GiveBack();
        return false;
    }
    return true;
}

void CDatabaseLoader::Run(const LoadedCallback& onLoaded) {
    database_.Owner().Take();
    // Scanning a whole installation must not slow the window or a running game.
    if (priority_ == Priority::LOWEST)
        platform::LowerCurrentThreadPriority();
    DatabaseLoadOutcome outcome = LoadOrMoveAside();
    if (onLoaded)
        onLoaded(database_);
    database_.Scan();
    if (database_.Progress().Cancelled())
        outcome.result = DatabaseLoadResult::CANCELLED;
    Finish(outcome);
}

DatabaseLoadOutcome CDatabaseLoader::LoadOrMoveAside() {
    DatabaseLoadOutcome outcome;
    outcome.result = DatabaseLoadResult::BUILT;
    const String path = database_.DatabasePath();
    if (!platform::PathExists(path))
        return outcome;
    const DatabaseResult loaded = database_.Load();
    if (loaded) {
        outcome.result = DatabaseLoadResult::LOADED;
        return outcome;
    }
    outcome.loadError = loaded.what;
    // Saving the new database would overwrite the only copy of the old one: keep it aside.
    outcome.badPath = path + BAD_FILE_SUFFIX;
    std::error_code error;
    std::filesystem::rename(platform::NativePath(path), platform::NativePath(outcome.badPath),
                            error);
    outcome.movedAside = !error;
    outcome.moveFailed = static_cast<bool>(error);
    database_.SetKeepDatabaseFile(outcome.moveFailed);
    return outcome;
}

void CDatabaseLoader::Finish(const DatabaseLoadOutcome& outcome) {
    database_.Owner().GiveBack();
    std::lock_guard guard(finishMutex_);
    outcome_ = outcome;
    // A stop asked for after the walk had ended is void; left set it would stop a later scan.
    database_.Progress().ClearCancelRequest();
    ready_ = outcome.result != DatabaseLoadResult::CANCELLED;
    finished_ = true;
    finishedSignal_.notify_all();
}

String CDatabaseLoader::ScanText() const {
    return database_.Progress().Text();
}

void CDatabaseLoader::Cancel() {
    std::lock_guard guard(finishMutex_);
    if (started_ && !finished_)
        database_.Progress().RequestCancel();
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
