#include "watch/EngineBrowserLink.h"

#include "platform/HostResolve.h"

namespace quillory::ui {

CEngineBrowserLink::~CEngineBrowserLink() {
    for (std::thread& lookup : lookups_)
        lookup.join();
}

void CEngineBrowserLink::ResolveHost(const String& host, std::function<void(uint32_t)> done) {
    // A name lookup may block for seconds; the window's thread must not wait on it.
    lookups_.emplace_back([host, done = std::move(done)] { done(quillory::ResolveHost(host)); });
}

void CEngineBrowserLink::QueryNews(uint32_t address, uint16_t port) {
    watch_.Engine().Post(QM_QUERY_NEWS, address, port);
}

void CEngineBrowserLink::QueryServerList(uint32_t address, uint16_t port) {
    watch_.Engine().Post(QM_QUERY_SERVER_LIST, address, port);
}

void CEngineBrowserLink::ClearPublicServers() {
    watch_.State().ClearPublicServers();
}

void CEngineBrowserLink::TakePublicServers(HandleArray<PublicServer>& into) {
    watch_.State().TakePublicServers(into);
}

void CEngineBrowserLink::SetUpgradeProgress(const std::optional<String>& text) {
    watch_.State().SetUpgradeProgress(text);
}

} // namespace quillory::ui
