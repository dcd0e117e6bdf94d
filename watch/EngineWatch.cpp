#include "watch/EngineWatch.h"

#include "net/ServerAddress.h"

#include <mutex>

namespace quillory::ui {

CEngineWatch::CEngineWatch(DefaultGamePorts defaults) : engine_(state_, TickCount, defaults) {}

CEngineWatch::~CEngineWatch() {
    Quit();
}

bool CEngineWatch::Start(const String& cacheFolder) {
    if (!engine_.Create(0, 0, 0))
        return false;
    engine_.SetCacheFolder(cacheFolder);
    running_ = engine_.Start();
    return running_;
}

bool CEngineWatch::Select(const ServerEntry& entry, bool gantry) {
    if (!running_)
        return false;
    // The old watch stops and what was known of it goes, before the new address is resolved.
    engine_.Post(QM_STOP);
    {
        std::lock_guard guard(state_.StatusLock());
        state_.ResetForNewServer();
        state_.gantryFeatureActive = false;
    }
    const std::optional<ResolvedServer> server = ResolveServerAddress(entry.address);
    if (!server)
        return false;
    if (gantry)
        engine_.ActivateGantry(entry.password);
    engine_.Post(QM_SET_SERVER, server->address, server->port);
    engine_.Post(QM_START);
    return true;
}

ServerStatus CEngineWatch::Snapshot() {
    std::lock_guard guard(state_.StatusLock());
    return state_.status;
}

std::optional<std::vector<uint8_t>> CEngineWatch::TakeDescription() {
    std::lock_guard guard(state_.StatusLock());
    std::optional<std::vector<uint8_t>> description = std::move(state_.description);
    state_.description.reset();
    return description;
}

void CEngineWatch::Quit() {
    if (!running_)
        return;
    running_ = false;
    engine_.Post(QM_QUIT);
    engine_.Wait(WAIT_FOREVER);
    engine_.CloseThreadHandle();
    engine_.Close();
}

} // namespace quillory::ui
