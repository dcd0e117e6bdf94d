#pragma once
// The browser server's client as the watch window drives it: the query engine of the core's
// server watch and the fields it writes under the status lock.

#include "net/ServerWatch.h"
#include "watch/BrowserLink.h"

namespace quillory::ui {

class CEngineBrowserLink final : public IBrowserLink {
public:
    explicit CEngineBrowserLink(CServerWatch& watch) : watch_(watch) {}

    void QueryNews(uint32_t address, uint16_t port) override;
    void QueryServerList(uint32_t address, uint16_t port) override;
    void ClearPublicServers() override;
    void TakePublicServers(HandleArray<PublicServer>& into) override;
    void SetUpgradeProgress(const std::optional<String>& text) override;

private:
    CServerWatch& watch_;
};

} // namespace quillory::ui
