#include "cli/GantrySettings.h"

#include "common/FileHandle.h"
#include "common/MemoryStream.h"
#include "platform/FileSystem.h"

#include <cstdint>

namespace quillory::cli {

namespace {

constexpr int32_t kNewestVersion = 2;
constexpr size_t kEntryTexts = 4; // address, password, description, startup parameters

// Steps over the server entries; false when the data end inside them.
bool SkipEntries(CMemoryStream& stream, int32_t version) {
    uint32_t count = 0;
    if (!ReadU32(stream, count) || static_cast<int32_t>(count) < 0)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        // Every entry takes at least four zero bytes: a count beyond that is a broken file.
        if (stream.Remaining() < kEntryTexts)
            return false;
        String text;
        for (size_t t = 0; t < kEntryTexts; ++t)
            if (!ReadTextStrict(stream, text))
                return false;
        uint8_t automaticMods = 0;
        if (version >= 2 && !ReadU8(stream, automaticMods))
            return false;
    }
    return true;
}

} // namespace

String ReadSettingsGameFolder(const String& dataFolder) {
    String bytes;
    const String path = dataFolder.empty() ? String(SETTINGS_FILE)
                                           : platform::NativePath(dataFolder) + "/" + SETTINGS_FILE;
    if (!ReadWholeFile(path, bytes))
        return String();
    CMemoryStream stream(bytes.data(), bytes.size());
    uint8_t marker = 1;
    uint32_t version = 0;
    if (!ReadU8(stream, marker) || marker != 0 || !ReadU32(stream, version))
        return String();
    const int32_t signedVersion = static_cast<int32_t>(version);
    if (signedVersion < 1 || signedVersion > kNewestVersion)
        return String(); // version 0 stored no game folder
    uint32_t selected = 0;
    if (!SkipEntries(stream, signedVersion) || !ReadU32(stream, selected))
        return String();
    String folder = platform::NativePath(ReadText(stream));
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace quillory::cli
