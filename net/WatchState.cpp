#include "net/WatchState.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

namespace quillory {

void CWatchState::ResetForNewServer() {
    status = ServerStatus{};
    description.reset();
    enumerationReplies = 0;
    statusReplies = 0;
    ++selection;
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
    copy.news = news;
    copy.newsReplies = newsReplies;
    copy.upgradeProgress = upgradeProgress;
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

bool CWatchState::AddPublicServer(PublicServer&& server) {
    const uint64_t key = PublicServerKey(server);
    if (publicServerKeys.count(key) != 0)
        return false;
    if (publicServers.size() >= PUBLIC_SERVERS_MAX) {
        ++publicServersDropped;
        return false;
    }
    publicServerKeys.insert(key);
    publicServers.push_back(std::make_shared<PublicServer>(std::move(server)));
    return true;
}

void CWatchState::ClearPublicServers() {
    std::lock_guard guard(statusLock_);
    publicServers.clear();
    publicServerKeys.clear();
}

size_t CWatchState::TakePublicServers(HandleArray<PublicServer>& into) {
    HandleArray<PublicServer> received;
    {
        std::lock_guard guard(statusLock_);
        received.swap(publicServers);
        publicServerKeys.clear();
    }
    if (received.empty())
        return 0;
    std::unordered_set<uint64_t> held;
    held.reserve(into.size() + received.size());
    for (const auto& server : into)
        held.insert(PublicServerKey(*server));
    size_t moved = 0, dropped = 0;
    for (auto& server : received) {
        if (!held.insert(PublicServerKey(*server)).second)
            continue;
        if (into.size() >= PUBLIC_SERVERS_MAX) {
            ++dropped;
            continue;
        }
        into.push_back(std::move(server));
        ++moved;
    }
    if (dropped != 0) {
        std::lock_guard guard(statusLock_);
        publicServersDropped += uint32_t(dropped);
    }
    return moved;
}

void CWatchState::ClearUpgradeOffered() {
    std::lock_guard guard(statusLock_);
    news.upgradeOffered = false;
}

void CWatchState::SetUpgradeProgress(const std::optional<String>& text) {
    {
        std::lock_guard guard(statusLock_);
        upgradeProgress = text.value_or(String());
    }
    NotifyChanged();
}

} // namespace quillory
