#pragma once
// The browser server's client as the watch window drives it: the query engine of the core's
// server watch and the fields it writes under the status lock.

#include "net/ServerWatch.h"
#include "watch/BrowserLink.h"

#include <thread>
#include <vector>

namespace quillory::ui {

class CEngineBrowserLink final : public IBrowserLink {
public:
    explicit CEngineBrowserLink(CServerWatch& watch) : watch_(watch) {}
    CEngineBrowserLink(const CEngineBrowserLink&) = delete;
    CEngineBrowserLink& operator=(const CEngineBrowserLink&) = delete;
    // Waits for the lookups still running.
    ~CEngineBrowserLink() override;

    void QueryNews(uint32_t address, uint16_t port) override;
    void QueryServerList(uint32_t address, uint16_t port) override;
    void ResolveHost(const String& host, std::function<void(uint32_t)> done) override;
    void ClearPublicServers() override;
    void TakePublicServers(HandleArray<PublicServer>& into) override;
    void SetUpgradeProgress(const std::optional<String>& text) override;

private:
    CServerWatch& watch_;
    // One thread per lookup: a user's clicks, a handful per run.
    std::vector<std::thread> lookups_;
};

} // namespace quillory::ui
