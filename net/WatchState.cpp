#include "net/WatchState.h"

#include <chrono>
#include <mutex>

namespace quillory {

void CWatchState::ResetForNewServer() {
    status = ServerStatus{};
    description.reset();
    enumerationReplies = 0;
    statusReplies = 0;
}

bool CWatchState::GantryFinal() const {
    switch (status.gantryState) {
    case GANTRY_ANSWERED:
        return status.gantryChunksReceived >= status.gantryChunkTotal;
    case GANTRY_NONE:
    case GANTRY_TIMEOUT:
    case GANTRY_PASSWORD_REFUSED:
        return true;
    default:
        return false;
    }
}

std::optional<GantryOutcome> CWatchState::WaitForGantryOutcome(uint32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard guard(statusLock_);
            if (GantryFinal()) {
                GantryOutcome outcome{status.gantryState, std::move(description)};
                description.reset();
                return outcome;
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        changed_.Wait(static_cast<uint32_t>(left.count()));
    }
}

} // namespace quillory
