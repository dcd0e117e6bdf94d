#include "watch/core/LiveBrowse.h"

#include <algorithm>

namespace quillory {

CLiveBrowse::CLiveBrowse(DefaultGamePorts ports) : ports_(ports) {}

CLiveBrowse::~CLiveBrowse() {
    CancelAll();
    for (auto& run : runs_)
        run->thread.join();
}

void CLiveBrowse::Ask(std::vector<String> addresses, uint32_t timeoutMs) {
    JoinFinished();
    if (addresses.empty())
        return;
    auto run = std::make_unique<Run>(ports_);
    uint64_t generation = 0;
    {
        std::lock_guard guard(lock_);
        generation = generation_;
    }
    Run* r = run.get();
    r->query.SetOutcomeHandler(
        [this, generation, addresses](size_t index, const QueryOutcome& outcome) {
            std::lock_guard guard(lock_);
            if (generation == generation_)
                answers_.push_back({addresses[index], outcome});
        });
    r->thread = std::thread([r, addresses = std::move(addresses), timeoutMs] {
        r->query.Run(addresses, timeoutMs);
        r->done = true;
    });
    runs_.push_back(std::move(run));
}

void CLiveBrowse::CancelAll() {
    {
        std::lock_guard guard(lock_);
        ++generation_;
        answers_.clear();
    }
    for (auto& run : runs_)
        run->query.Cancel();
}

void CLiveBrowse::Take(std::vector<Answer>& into) {
    std::lock_guard guard(lock_);
    std::move(answers_.begin(), answers_.end(), std::back_inserter(into));
    answers_.clear();
}

bool CLiveBrowse::Busy() const {
    return std::any_of(runs_.begin(), runs_.end(), [](const auto& run) { return !run->done; });
}

// Runs that ended leave no thread behind: joining them costs nothing.
void CLiveBrowse::JoinFinished() {
    auto end = std::remove_if(runs_.begin(), runs_.end(), [](auto& run) {
        if (!run->done)
            return false;
        run->thread.join();
        return true;
    });
    runs_.erase(end, runs_.end());
}

} // namespace quillory
