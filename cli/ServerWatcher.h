#pragma once
// The query engine watching one server as the main window runs it, for the commands that
// watch a server from a terminal.

#include "common/Types.h"
#include "net/ServerAddress.h"
#include "net/ServerQuery.h"
#include "net/WatchState.h"

#include <optional>

namespace quillory::cli {

class CServerWatcher final {
public:
    // The Gantry feature: the server's password and where descriptions are cached.
    struct GantrySettings {
        String password;
        String cacheFolder;
    };

    CServerWatcher() = default;
    // Stops the engine and waits for its thread.
    ~CServerWatcher();
    CServerWatcher(const CServerWatcher&) = delete;
    CServerWatcher& operator=(const CServerWatcher&) = delete;

    // Selects the server and starts polling it; false (said on stderr) without a socket.
    bool Start(const ResolvedServer& server,
               const std::optional<GantrySettings>& gantry = std::nullopt);
    CWatchState& State() { return state_; }

private:
    CWatchState state_;
    CServerQuery engine_{state_};
};

} // namespace quillory::cli
