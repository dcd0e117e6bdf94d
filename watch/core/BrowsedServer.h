#pragma once
// The server chosen in the Gantry server browser becomes the watched one: the entry that
// already has its address, or a new entry made for it.

#include "common/Types.h"
#include "watch/core/ServerEntry.h"

#include <cstdint>

namespace quillory {

enum class BrowsedServer {
    FOUND, // an entry had the address (letter case aside) and is now selected
    ADDED, // a new entry was appended and selected
};

// Selects the entry whose address equals `chosen` ignoring ASCII case, or appends one with
// address and description `chosen`, no password or parameters and automatic mods.
BrowsedServer SelectBrowsedServer(HandleArray<ServerEntry>& entries, int32_t& selected,
                                  const String& chosen);

// "Add to my servers": appends an entry for `address` described by the server's `name` (the
// address when the name is blank), leaving the selection as it is. False when an entry has
// the address already (letter case aside).
bool KeepBrowsedServer(HandleArray<ServerEntry>& entries, const String& address,
                       const String& name);

} // namespace quillory
