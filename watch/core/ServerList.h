#pragma once
// The rules of the user's server list: adding, editing and deleting entries, the selection,
// the address and password as the window shows them, and the renaming after the server.
// The window keeps the list control in the same order as `entries` and only mirrors it.

#include "common/Types.h"
#include "net/ServerAddress.h" // SplitServerAddress: host, port text and port of an address
#include "watch/core/ServerEntry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quillory {

// Shown beside "Pw:" for an entry without a password.
constexpr const char* NO_PASSWORD_TEXT = "<no password>";
// Dedicated servers name themselves with this in front of the host's name.
constexpr const char* DEDICATED_SERVER_PREFIX = "Dedicated server on ";

// The texts of the "Server" dialog as "OK" takes them: address, description and startup
// parameters trimmed of white space at both ends, the password exactly as typed.
ServerEntry TakeDialogTexts(const ServerEntry& typed);

// The selected entry, or nothing when `selected` names none.
Handle<ServerEntry> SelectedEntry(const HandleArray<ServerEntry>& entries, int32_t selected);

// "Add" with the dialog's texts: nothing when the address is empty once trimmed; otherwise a
// new entry described by its address, with the mod flag taken from its parameters, appended
// and selected. True when the selection changed and must be acted on.
bool AddServer(HandleArray<ServerEntry>& entries, int32_t& selected, const ServerEntry& typed);

// "Edit" with the dialog's texts. Without a selection this is "Add". An empty address keeps
// the entry as it was; otherwise address, description, password and parameters are replaced
// (the mod flag stays). True when the selection change must run again (always with a
// selection: polling restarts even for an unchanged entry).
bool EditServer(HandleArray<ServerEntry>& entries, int32_t& selected, const ServerEntry& typed);

// "Del": removes the selected entry and selects the first one (-1 when none is left). False,
// with nothing changed, when nothing was selected.
bool DeleteServer(HandleArray<ServerEntry>& entries, int32_t& selected);

// What "Pw:" shows for a password.
String PasswordText(const String& password);

// The entry's new description once the server has named itself: the shown server name, less
// a leading "Dedicated server on ", when the entry is still described by its own address.
// Nothing when the entry keeps its description (named by the user, or no name known yet).
std::optional<String> RenamedDescription(const ServerEntry& entry, const String& shownDescription);

// What the list shows for each entry, in order: its description, followed by " (address)" when
// another entry has the same description, so that the two can be told apart.
std::vector<String> ListLabels(const HandleArray<ServerEntry>& entries);

} // namespace quillory
