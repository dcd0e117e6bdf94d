#pragma once
// Watches several servers at once from the calling thread, as the window's engine watches one:
// an engine per server, no thread of their own, all driven by one wait on their sockets. Unlike
// CMultiQuery it keeps polling, so a watch can run for hours.

#include "common/Tick.h"
#include "common/Types.h"
#include "net/ServerQuery.h"
#include "net/WatchState.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace quillory {

class CServerGroupWatch final {
public:
    enum class OpenResult { OK, BAD_ADDRESS, NO_SOCKET };
    struct OpenOutcome {
        OpenResult result = OpenResult::OK;
        size_t index = 0; // the address that failed
    };

    explicit CServerGroupWatch(DefaultGamePorts defaults = {}, TickSource tick = TickCount);
    ~CServerGroupWatch();
    CServerGroupWatch(const CServerGroupWatch&) = delete;
    CServerGroupWatch& operator=(const CServerGroupWatch&) = delete;

    // Resolves every address and starts polling each; stops at the first that fails.
    OpenOutcome Open(const std::vector<String>& addresses);
    // Receives what arrives and sends what is due, for `milliseconds`.
    void Pump(uint32_t milliseconds);
    size_t Count() const { return servers_.size(); }
    // What server `index` (in the order given to Open) has told so far.
    WatchSnapshot Snapshot(size_t index) const;

private:
    struct Server;
    void Drain(Server& server);

    DefaultGamePorts defaults_;
    TickSource tick_;
    std::vector<std::unique_ptr<Server>> servers_;
    std::unique_ptr<uint8_t[]> buffer_;
};

} // namespace quillory
