#include "watch/core/BrowsedServer.h"

#include "common/AsciiCase.h"

#include <memory>

namespace quillory {

namespace {

int32_t FindAddress(const HandleArray<ServerEntry>& entries, const String& address) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (EqualsNoCase(entries[i]->address, address))
            return int32_t(i);
    return -1;
}

void AppendEntry(HandleArray<ServerEntry>& entries, const String& address,
                 const String& description) {
    auto entry = std::make_shared<ServerEntry>();
    entry->address = address;
    entry->description = description;
    entry->automaticMods = true;
    entries.push_back(std::move(entry));
}

} // namespace

bool KeepBrowsedServer(HandleArray<ServerEntry>& entries, const String& address,
                       const String& name) {
    if (FindAddress(entries, address) >= 0)
        return false;
    const bool blank = name.find_first_not_of(" \t") == String::npos;
    AppendEntry(entries, address, blank ? address : name);
    return true;
}

BrowsedServer SelectBrowsedServer(HandleArray<ServerEntry>& entries, int32_t& selected,
                                  const String& chosen) {
    if (const int32_t found = FindAddress(entries, chosen); found >= 0) {
        selected = found;
        return BrowsedServer::FOUND;
    }
    AppendEntry(entries, chosen, chosen);
    selected = int32_t(entries.size() - 1);
    return BrowsedServer::ADDED;
}

} // namespace quillory
