#include "watch/core/BrowsedServer.h"

#include "common/AsciiCase.h"

#include <memory>

namespace quillory {

BrowsedServer SelectBrowsedServer(HandleArray<ServerEntry>& entries, int32_t& selected,
                                  const String& chosen) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (EqualsNoCase(entries[i]->address, chosen)) {
            selected = int32_t(i);
            return BrowsedServer::FOUND;
        }
    }
    auto entry = std::make_shared<ServerEntry>();
    entry->address = chosen;
    entry->description = chosen;
    entry->automaticMods = true;
    entries.push_back(std::move(entry));
    selected = int32_t(entries.size() - 1);
    return BrowsedServer::ADDED;
}

} // namespace quillory
