#pragma once
// The checks an upgrade archive's list of entries passes before anything of it is written: only
// plain files and folders, each inside the program folder, in bounded number and size.

#include "common/Types.h"
#include "gantry/client/ZipReader.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quillory {

struct UpgradeLimits {
    size_t maxEntries = 10000;
    // The whole program is a few megabytes; this leaves room for any release to come.
    uint64_t maxTotalSize = uint64_t(512) << 20;
};

// The entry's name with '\' separators, as the program folder's files are named.
String UpgradeEntryName(const String& stored);
// Whether a name ('\' separators) stays inside the program folder: no root, no drive, no "..".
bool IsSafeUpgradeName(const String& name);
// Whether a Unix-made entry is anything but a plain file or folder (a link, a device...).
bool IsSpecialEntry(const ZipEntryInfo& info);

// The Link button's error text for the first entry that fails a check, or nothing.
std::optional<String> CheckUpgradeEntries(const std::vector<ZipEntryInfo>& entries,
                                          bool listDamaged, const UpgradeLimits& limits);

} // namespace quillory
