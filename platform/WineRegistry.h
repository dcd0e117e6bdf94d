#pragma once
// The local-machine registry as Wine keeps it: the text file "system.reg" in the Wine prefix,
// and the prefix's drives, so a path the game's installer wrote can be opened here.

#include "common/Types.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillory::platform {

// The Wine prefix: $WINEPREFIX, else "~/.wine"; empty when neither is known.
String DefaultWinePrefix();
// $WINEPREFIX and $HOME as set; empty when unset.
String WinePrefixVariable();
String HomeFolder();

// The string value `valueName` ("@" for the default value) of the key `key` (written with single
// backslashes, relative to the local-machine root) in the text of a Wine registry file. Key and
// value names ignore ASCII case, as the registry does. None when absent or not a string.
std::optional<String> FindRegistryValue(std::string_view fileText, std::string_view key,
                                        std::string_view valueName);

// The largest "system.reg" read; anything larger, or anything but a regular file, finds nothing.
constexpr uint64_t REGISTRY_MAX_FILE_BYTES = uint64_t(256) << 20;

// The same, read from the prefix's "system.reg"; a key missing there is also looked for in the
// 32-bit view ("Software\Wow6432Node\..."), where a 32-bit installer's keys land.
std::optional<String> ReadLocalMachineValue(const String& winePrefix, std::string_view key,
                                            std::string_view valueName);

// The native path of a Windows path "X:\..." inside the prefix: "C:" is the prefix's "drive_c",
// another letter follows the prefix's "dosdevices" link; the rest is looked up ignoring letter
// case. None for a path without a drive or a drive the prefix does not have.
std::optional<String> MapWindowsPath(const String& winePrefix, std::string_view windowsPath);

} // namespace quillory::platform
