#include "watch/core/ServerList.h"

#include <memory>
#include <unordered_map>

namespace quillory {

namespace {

// The blanks a text field may carry around its value.
String TrimWhiteSpace(const String& text) {
    const char* blanks = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == String::npos)
        return String();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool IsSelected(const HandleArray<ServerEntry>& entries, int32_t selected) {
    return selected >= 0 && static_cast<size_t>(selected) < entries.size() && entries[selected];
}

} // namespace

ServerEntry TakeDialogTexts(const ServerEntry& typed) {
    ServerEntry taken = typed;
    taken.address = TrimWhiteSpace(typed.address);
    taken.description = TrimWhiteSpace(typed.description);
    taken.startupParameters = TrimWhiteSpace(typed.startupParameters);
    return taken;
}

Handle<ServerEntry> SelectedEntry(const HandleArray<ServerEntry>& entries, int32_t selected) {
    return IsSelected(entries, selected) ? entries[selected] : nullptr;
}

bool AddServer(HandleArray<ServerEntry>& entries, int32_t& selected, const ServerEntry& typed) {
    const ServerEntry taken = TakeDialogTexts(typed);
    if (taken.address.empty())
        return false;
    auto entry = std::make_shared<ServerEntry>();
    entry->address = taken.address;
    entry->password = taken.password;
    entry->description = taken.address;
    entry->startupParameters = taken.startupParameters;
    entry->automaticMods = HasAutomaticMods(taken.startupParameters);
    entries.push_back(std::move(entry));
    selected = static_cast<int32_t>(entries.size() - 1);
    return true;
}

bool EditServer(HandleArray<ServerEntry>& entries, int32_t& selected, const ServerEntry& typed) {
    Handle<ServerEntry> entry = SelectedEntry(entries, selected);
    if (!entry)
        return AddServer(entries, selected, typed);
    const ServerEntry taken = TakeDialogTexts(typed);
    if (taken.address.empty())
        return true;
    entry->address = taken.address;
    entry->description = taken.description;
    entry->password = taken.password;
    entry->startupParameters = taken.startupParameters;
    return true;
}

bool DeleteServer(HandleArray<ServerEntry>& entries, int32_t& selected) {
    if (selected < 0 || static_cast<size_t>(selected) >= entries.size())
        return false;
    entries.erase(entries.begin() + selected);
    selected = entries.empty() ? -1 : 0;
    return true;
}

String PasswordText(const String& password) {
    return password.empty() ? String(NO_PASSWORD_TEXT) : password;
}

std::optional<String> RenamedDescription(const ServerEntry& entry, const String& shownDescription) {
    if (shownDescription.empty() || entry.description != entry.address)
        return std::nullopt;
    const String prefix = DEDICATED_SERVER_PREFIX;
    if (shownDescription.compare(0, prefix.size(), prefix) != 0)
        return shownDescription;
    // A server named by the prefix alone would leave an entry with no text in the list.
    if (shownDescription.size() == prefix.size())
        return std::nullopt;
    return shownDescription.substr(prefix.size());
}

std::vector<String> ListLabels(const HandleArray<ServerEntry>& entries) {
    std::unordered_map<String, int> uses;
    for (const auto& entry : entries)
        ++uses[entry->description];
    std::vector<String> labels;
    labels.reserve(entries.size());
    for (const auto& entry : entries) {
        labels.push_back(entry->description);
        if (uses[entry->description] > 1)
            labels.back() += " (" + entry->address + ")";
    }
    return labels;
}

} // namespace quillory
