#include "net/WatchState.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace quillory {

void CWatchState::ResetForNewServer() {
    status = ServerStatus{};
    description.reset();
    enumerationReplies = 0;
    statusReplies = 0;
}

WatchSnapshot CWatchState::Snapshot() {
    std::lock_guard guard(statusLock_);
    WatchSnapshot copy;
    copy.status = status;
    for (auto& player : copy.status.playerList)
        player = std::make_shared<PlayerInfo>(*player);
    copy.gantryFeatureActive = gantryFeatureActive;
    copy.descriptionWaiting = description.has_value();
    copy.enumerationReplies = enumerationReplies;
    copy.statusReplies = statusReplies;
    return copy;
}

std::optional<std::vector<uint8_t>> CWatchState::TakeDescription() {
    std::lock_guard guard(statusLock_);
    std::optional<std::vector<uint8_t>> taken = std::move(description);
    description.reset();
    return taken;
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
