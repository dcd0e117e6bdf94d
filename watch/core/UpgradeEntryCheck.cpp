#include "watch/core/UpgradeEntryCheck.h"

#include "watch/core/UpgradeTexts.h"

#include <sys/stat.h>

namespace quillory {

namespace {

constexpr uint8_t HOST_UNIX = 3;

} // namespace

String UpgradeEntryName(const String& stored) {
    String name = stored;
    for (char& c : name)
        if (c == '/')
            c = '\\';
    return name;
}

bool IsSafeUpgradeName(const String& name) {
    if (name.empty() || name[0] == '\\' || name.find(':') != String::npos)
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find('\\', start);
        if (name.compare(start, end == String::npos ? String::npos : end - start, "..") == 0)
            return false;
        if (end == String::npos)
            return true;
        start = end + 1;
    }
}

bool IsSpecialEntry(const ZipEntryInfo& info) {
    if (info.madeByHost != HOST_UNIX)
        return false;
    const uint32_t type = (info.externalAttributes >> 16) & S_IFMT;
    return type != 0 && type != S_IFREG && type != S_IFDIR;
}

std::optional<String> CheckUpgradeEntries(const std::vector<ZipEntryInfo>& entries,
                                          bool listDamaged, const UpgradeLimits& limits) {
    if (listDamaged || entries.empty() || entries.size() > limits.maxEntries)
        return String(UPGRADE_READING_ARCHIVE);
    uint64_t total = 0;
    for (const ZipEntryInfo& info : entries) {
        if (info.pathTooLong)
            return String(UPGRADE_READING_ARCHIVE);
        if (!IsSafeUpgradeName(UpgradeEntryName(info.path)) || IsSpecialEntry(info))
            return String(UPGRADE_CREATING_FILE);
        total += info.size;
        if (info.size > limits.maxTotalSize || total > limits.maxTotalSize)
            return String(UPGRADE_READING_ARCHIVE);
    }
    return std::nullopt;
}

} // namespace quillory
