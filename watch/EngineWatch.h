#pragma once
// The query engine as the watch window drives it, through the core's server watch.

#include "net/ServerWatch.h"
#include "watch/ServerWatchSource.h"

namespace quillory::ui {

class CEngineWatch final : public IServerWatch {
public:
    // `defaults` moves the default game ports, for tests.
    explicit CEngineWatch(DefaultGamePorts defaults = {});
    CEngineWatch(const CEngineWatch&) = delete;
    CEngineWatch& operator=(const CEngineWatch&) = delete;

    // Creates the socket and starts the engine's thread; false without a socket.
    [[nodiscard]] bool Start(const String& cacheFolder);

    bool Select(const ServerEntry& entry, bool gantry) override;
    void Stop() override { watch_.Stop(); }
    WatchSnapshot Snapshot() override;
    void ClearUpgradeOffered() override { watch_.State().ClearUpgradeOffered(); }
    std::optional<std::vector<uint8_t>> TakeDescription() override;
    void Quit() override { watch_.Quit(); }

    CServerWatch& Watch() { return watch_; }

private:
    CServerWatch watch_;
};

} // namespace quillory::ui
