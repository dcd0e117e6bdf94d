#pragma once
// The query engine as the watch window drives it: its thread, the watch state it writes, and
// the steps of selecting a server.

#include "net/ServerQuery.h"
#include "net/WatchState.h"
#include "watch/ServerWatchSource.h"

namespace quillory::ui {

class CEngineWatch final : public IServerWatch {
public:
    // `defaults` moves the default game ports, for tests.
    explicit CEngineWatch(DefaultGamePorts defaults = {});
    ~CEngineWatch() override;
    CEngineWatch(const CEngineWatch&) = delete;
    CEngineWatch& operator=(const CEngineWatch&) = delete;

    // Creates the socket and starts the engine's thread; false without a socket.
    bool Start(const String& cacheFolder);

    bool Select(const ServerEntry& entry, bool gantry) override;
    ServerStatus Snapshot() override;
    std::optional<std::vector<uint8_t>> TakeDescription() override;
    void Quit() override;

    CWatchState& State() { return state_; }

private:
    CWatchState state_;
    CServerQuery engine_;
    bool running_ = false;
};

} // namespace quillory::ui
