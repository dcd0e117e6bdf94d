#pragma once
// One server of the user's list, as the list, the settings file and the launcher share it.

#include "common/Types.h"

namespace quillory {

struct ServerEntry {
    String address;           // host or dotted address, optionally ":" and a port; trimmed
    String password;          // exactly as typed
    String description;       // what the list shows; trimmed
    String startupParameters; // extra game switches; trimmed
    // Whether the launcher chooses the mod list itself (the parameters name none).
    bool automaticMods = true;
};

// The flag of a newly added entry: off only when the first parameter word starting with
// "-mod=" (any letter case) carries a value. "-mod=" alone names no mods, so the launcher may
// still choose them.
bool HasAutomaticMods(const String& startupParameters);

// The flag of an entry read from a settings file written before the flag was stored: off as
// soon as any parameter word starts with "-mod=" (any letter case), empty or not, as that
// file version was always read.
bool AutomaticModsOfOldEntry(const String& startupParameters);

} // namespace quillory
