#pragma once
// What the watch window needs of the browser server's client beyond the watch snapshot (which
// carries the news): ask for the news and the public servers, take the servers, and keep the
// self-upgrade's progress. Tests script it.

#include "common/Types.h"
#include "net/PublicServer.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace quillory::ui {

class IBrowserLink {
public:
    virtual ~IBrowserLink() = default;
    // QM_QUERY_NEWS and QM_QUERY_SERVER_LIST to the engine; address in network order.
    virtual void QueryNews(uint32_t address, uint16_t port) = 0;
    virtual void QueryServerList(uint32_t address, uint16_t port) = 0;
    // Looks the browser server's host up away from the window's thread and hands the address
    // (network order; ADDRESS_NONE when it did not resolve) to `done`, on any thread.
    virtual void ResolveHost(const String& host, std::function<void(uint32_t)> done) = 0;
    // Empties the public servers received so far, under the status lock.
    virtual void ClearPublicServers() = 0;
    // Moves the received public servers to `into`, leaving out addresses and ports it holds.
    virtual void TakePublicServers(HandleArray<PublicServer>& into) = 0;
    // The self-upgrade's progress, which the snapshot carries to the Link button. Called on
    // the upgrade's thread.
    virtual void SetUpgradeProgress(const std::optional<String>& text) = 0;
};

} // namespace quillory::ui
