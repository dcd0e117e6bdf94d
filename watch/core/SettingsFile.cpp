#include "watch/core/SettingsFile.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/MemoryStream.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace quillory {

namespace {

constexpr uint8_t SETTINGS_MARKER = 0;
constexpr size_t WRITE_CAPACITY = 4096;

std::optional<int32_t> ReadI32(CMemoryStream& stream) {
    uint32_t value = 0;
    if (!ReadU32(stream, value))
        return std::nullopt;
    return static_cast<int32_t>(value);
}

// One entry, or nothing when the data end inside it: a half-read entry is dropped rather
// than shown with invented fields.
Handle<ServerEntry> ReadEntry(CMemoryStream& stream, int32_t version) {
    auto entry = std::make_shared<ServerEntry>();
    if (!ReadTextStrict(stream, entry->address) || !ReadTextStrict(stream, entry->password) ||
        !ReadTextStrict(stream, entry->description) ||
        !ReadTextStrict(stream, entry->startupParameters))
        return nullptr;
    if (version < 2) {
        entry->automaticMods = AutomaticModsOfOldEntry(entry->startupParameters);
        return entry;
    }
    uint8_t flag = 0;
    if (!ReadU8(stream, flag))
        return nullptr;
    entry->automaticMods = flag != 0;
    return entry;
}

// Fills `settings` in the order of the file, stopping where the data end or make no sense.
void ReadInto(CMemoryStream& stream, Settings& settings) {
    uint8_t marker = 1;
    if (!ReadU8(stream, marker) || marker != SETTINGS_MARKER)
        return;
    auto version = ReadI32(stream);
    // A negative version is as foreign as a newer one: nothing of it can be trusted.
    if (!version || *version < 0 || *version > SETTINGS_VERSION)
        return;
    auto count = ReadI32(stream);
    if (!count || *count < 0)
        return;
    // Every entry consumes at least four bytes, so a huge count ends with the data.
    for (int32_t i = 0; i < *count; ++i) {
        Handle<ServerEntry> entry = ReadEntry(stream, *version);
        if (!entry)
            return;
        settings.entries.push_back(std::move(entry));
    }
    auto selected = ReadI32(stream);
    if (!selected)
        return;
    settings.selectedIndex = *selected;
    if (*version >= 1)
        settings.gameFolder = ReadText(stream);
}

// A text ends at its first zero byte: written whole, a zero inside would shift every field
// after it and lose the rest of the list on the next load.
void WriteStoredText(CMemoryStream& stream, const String& text) {
    WriteText(stream, std::string_view(text.data(), std::min(text.size(), text.find('\0'))));
}

void WriteEntry(CMemoryStream& stream, const ServerEntry& entry) {
    WriteStoredText(stream, entry.address);
    WriteStoredText(stream, entry.password);
    WriteStoredText(stream, entry.description);
    WriteStoredText(stream, entry.startupParameters);
    WriteU8(stream, entry.automaticMods ? 1 : 0);
}

} // namespace

Settings ReadSettings(CMemoryStream& stream) {
    Settings settings;
    ReadInto(stream, settings);
    return settings;
}

void WriteSettings(CMemoryStream& stream, const Settings& settings) {
    WriteU8(stream, SETTINGS_MARKER);
    WriteU32(stream, static_cast<uint32_t>(SETTINGS_VERSION));
    WriteU32(stream, static_cast<uint32_t>(settings.entries.size()));
    for (const auto& entry : settings.entries)
        WriteEntry(stream, entry ? *entry : ServerEntry{});
    WriteU32(stream, static_cast<uint32_t>(settings.selectedIndex));
    WriteStoredText(stream, settings.gameFolder);
}

Settings LoadSettings(const String& path) {
    String bytes;
    if (!ReadWholeFile(path, bytes))
        return Settings{};
    CMemoryStream stream(bytes.data(), bytes.size());
    return ReadSettings(stream);
}

bool SaveSettings(const String& path, const Settings& settings) {
    CMemoryStream stream(WRITE_CAPACITY);
    WriteSettings(stream, settings);
    const auto* data = reinterpret_cast<const char*>(stream.Data());
    return platform::SaveFileAtomically(path, std::string_view(data, stream.Size())).ok;
}

Handle<ServerEntry> FindEntry(const Settings& settings, const String& address) {
    for (const auto& entry : settings.entries)
        if (entry && entry->address == address)
            return entry;
    for (const auto& entry : settings.entries)
        if (entry && EqualsNoCase(entry->address, address))
            return entry;
    return nullptr;
}

} // namespace quillory
