#pragma once
// The Wine prefixes a player's games may live in: the one Wine itself uses and those that the
// common Linux game launchers keep under the home folder. Their names start with a dot, so the
// search over the disks never enters them by itself.

#include "common/Types.h"

#include <vector>

namespace quillory {

// The "drive_c" folders, each ending with "/", of `winePrefix` ($WINEPREFIX, may be empty),
// "~/.wine", Lutris's "~/Games/*", Bottles' bottles, Steam Proton's "compatdata/*/pfx" (both of
// Steam's usual places) and PlayOnLinux's prefixes, in that order. Only folders that exist are
// given, each real folder once, however many links lead to it.
std::vector<String> WinePrefixDrives(const String& home, const String& winePrefix);

} // namespace quillory
