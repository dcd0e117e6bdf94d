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

// Bounds of a file the program reads: more is taken for a damaged file, not for settings.
constexpr size_t SETTINGS_MAX_ENTRIES = 10000;
constexpr size_t SETTINGS_MAX_TEXT = 4096;
constexpr uint64_t SETTINGS_MAX_FILE_BYTES = 16u << 20;
constexpr const char* SETTINGS_BAD_SUFFIX = ".bad";

struct SettingsLoad {
    enum State {
        ABSENT,  // no file: the defaults
        READ,    // read to its end
        DAMAGED, // cannot be read as it is; `problem` says why
    };
    State state = ABSENT;
    // What could be used: a file that ends early keeps the entries read completely and
    // whatever followed them; anything else damaged gives the defaults.
    Settings settings;
    String problem;
};

// Reads `path`. Only a regular file of at most 16 MB is read.
SettingsLoad ReadSettingsFile(const String& path);

// The settings of `path`, for readers that never write them: damaged or absent files give what
// ReadSettingsFile could use.
Settings LoadSettings(const String& path);

// Renames the damaged `path` to `path` + ".bad", replacing an older copy there, so that saving
// new settings cannot overwrite the only copy of the old ones. False when it stays in place.
[[nodiscard]] bool MoveSettingsAside(const String& path, String& error);

// The entry of the server list for `address`: as typed, else ignoring letter case; none when no
// entry has it.
Handle<ServerEntry> FindEntry(const Settings& settings, const String& address);

// What LoadSettings reads, from the file's bytes in a stream.
Settings ReadSettings(CMemoryStream& stream);
// As ReadSettings, with why the bytes are damaged (empty when they are not).
Settings ReadSettings(CMemoryStream& stream, String& problem);
// The version 2 bytes of `settings`, as SaveSettings writes them. A text longer than the bound
// is cut to it, so that the file is read back.
void WriteSettings(CMemoryStream& stream, const Settings& settings);

// Writes version 2 to a temporary name beside `path` and renames it over the old file, so a
// crash or a full disk leaves the old settings. False when the file could not be written.
[[nodiscard]] bool SaveSettings(const String& path, const Settings& settings);

} // namespace quillory
