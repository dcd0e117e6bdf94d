#pragma once
// The settings file "quillory.sav": the server list, the selected entry and the game folder.

#include "common/MemoryStream.h"
#include "common/Types.h"
#include "watch/core/ServerEntry.h"

#include <cstdint>

namespace quillory {

constexpr const char* SETTINGS_FILE = "quillory.sav";

// The version written; versions 0 and 1 are still read.
constexpr int32_t SETTINGS_VERSION = 2;

struct Settings {
    HandleArray<ServerEntry> entries;
    // The entry selected when the window closed; -1 for none. Taken from the file as it is,
    // so it may lie outside the list (then nothing is selected).
    int32_t selectedIndex = 0;
    // As stored: ends in the separator when not empty; empty when none is set.
    String gameFolder;
};

// Never fails: no file gives an empty list, selection 0 and no game folder; an unknown marker
// or version gives the same; a file that ends early keeps the entries read completely and
// whatever followed them.
Settings LoadSettings(const String& path);

// The entry of the server list for `address`: as typed, else ignoring letter case; none when no
// entry has it.
Handle<ServerEntry> FindEntry(const Settings& settings, const String& address);

// What LoadSettings reads, from the file's bytes in a stream.
Settings ReadSettings(CMemoryStream& stream);
// The version 2 bytes of `settings`, as SaveSettings writes them.
void WriteSettings(CMemoryStream& stream, const Settings& settings);

// Writes version 2 to a temporary name beside `path` and renames it over the old file, so a
// crash or a full disk leaves the old settings. False when the file could not be written.
[[nodiscard]] bool SaveSettings(const String& path, const Settings& settings);

} // namespace quillory
