#include "watch/core/SettingsFile.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/MemoryStream.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
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

constexpr const char* ENDS_EARLY = "it ends early";
constexpr const char* TEXT_TOO_LONG = "a text is longer than 4096 bytes";
// Marker, version, count and selection of an empty version 0 list, all zero.
constexpr size_t EMPTY_VERSION_ZERO_SIZE = 13;

// One text of an entry; false with `problem` set when it ends early or is over the bound.
bool ReadBoundedText(CMemoryStream& stream, String& text, String& problem) {
    if (!ReadTextStrict(stream, text)) {
        problem = ENDS_EARLY;
        return false;
    }
    if (text.size() > SETTINGS_MAX_TEXT) {
        problem = TEXT_TOO_LONG;
        return false;
    }
    return true;
}

// One entry, or nothing when the data end inside it: a half-read entry is dropped rather
// than shown with invented fields.
Handle<ServerEntry> ReadEntry(CMemoryStream& stream, int32_t version, String& problem) {
    auto entry = std::make_shared<ServerEntry>();
    if (!ReadBoundedText(stream, entry->address, problem) ||
        !ReadBoundedText(stream, entry->password, problem) ||
        !ReadBoundedText(stream, entry->description, problem) ||
        !ReadBoundedText(stream, entry->startupParameters, problem))
        return nullptr;
    if (version < 2) {
        entry->automaticMods = AutomaticModsOfOldEntry(entry->startupParameters);
        return entry;
    }
    uint8_t flag = 0;
    if (!ReadU8(stream, flag)) {
        problem = ENDS_EARLY;
        return nullptr;
    }
    entry->automaticMods = flag != 0;
    return entry;
}

// Marker, version and count; the version, or nothing with `problem` set.
std::optional<int32_t> ReadHeader(CMemoryStream& stream, int32_t& count, String& problem) {
    uint8_t marker = 1;
    if (!ReadU8(stream, marker)) {
        problem = "it is empty";
        return std::nullopt;
    }
    if (marker != SETTINGS_MARKER) {
        problem = "it does not start with the settings marker";
        return std::nullopt;
    }
    auto version = ReadI32(stream);
    // A negative version is as foreign as a newer one: nothing of it can be trusted.
    if (version && (*version < 0 || *version > SETTINGS_VERSION)) {
        problem = "it is of unknown version " + std::to_string(*version);
        return std::nullopt;
    }
    auto stored = ReadI32(stream);
    if (!version || !stored) {
        problem = ENDS_EARLY;
        return std::nullopt;
    }
    if (*stored < 0 || size_t(*stored) > SETTINGS_MAX_ENTRIES) {
        problem = "it holds more than 10000 servers";
        return std::nullopt;
    }
    count = *stored;
    return version;
}

// The selection and the game folder after the entries.
void ReadTail(CMemoryStream& stream, int32_t version, Settings& settings, String& problem) {
    auto selected = ReadI32(stream);
    if (!selected) {
        problem = ENDS_EARLY;
        return;
    }
    settings.selectedIndex = *selected;
    // Bytes after the selection are no folder in version 0 and are left alone.
    if (version < 1)
        return;
    // The folder text ends at the end of the data at the latest.
    const bool ended = ReadTextStrict(stream, settings.gameFolder);
    if (settings.gameFolder.size() > SETTINGS_MAX_TEXT)
        problem = TEXT_TOO_LONG;
    else if (!ended)
        problem = ENDS_EARLY;
    else if (stream.Remaining() != 0)
        problem = "it has data after its end";
}

// Fills `settings` in the order of the file, stopping where the data end or make no sense.
void ReadInto(CMemoryStream& stream, Settings& settings, String& problem) {
    int32_t count = 0;
    const std::optional<int32_t> version = ReadHeader(stream, count, problem);
    if (!version)
        return;
    for (int32_t i = 0; i < count; ++i) {
        Handle<ServerEntry> entry = ReadEntry(stream, *version, problem);
        if (!entry)
            return;
        settings.entries.push_back(std::move(entry));
    }
    ReadTail(stream, *version, settings, problem);
}

// What a disk leaves of a file whose data never reached it.
bool OnlyZeros(const CMemoryStream& stream) {
    const uint8_t* data = stream.Data();
    return stream.Size() > EMPTY_VERSION_ZERO_SIZE &&
           std::all_of(data, data + stream.Size(), [](uint8_t byte) { return byte == 0; });
}

// A text ends at its first zero byte: written whole, a zero inside would shift every field
// after it and lose the rest of the list on the next load. It is cut to the bound the reader
// accepts.
void WriteStoredText(CMemoryStream& stream, const String& text) {
    const size_t length = std::min({text.size(), text.find('\0'), SETTINGS_MAX_TEXT});
    WriteText(stream, std::string_view(text.data(), length));
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
    String problem;
    return ReadSettings(stream, problem);
}

Settings ReadSettings(CMemoryStream& stream, String& problem) {
    problem.clear();
    if (OnlyZeros(stream)) {
        problem = "it holds nothing but zero bytes";
        return Settings{};
    }
    Settings settings;
    ReadInto(stream, settings, problem);
    // Only a file that ends early keeps what was read before its end; anything else of a
    // damaged file is not trusted.
    if (!problem.empty() && problem != ENDS_EARLY)
        return Settings{};
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

SettingsLoad ReadSettingsFile(const String& path) {
    SettingsLoad load;
    String bytes;
    const ReadFileError error = ReadRegularFile(path, bytes, SETTINGS_MAX_FILE_BYTES);
    if (error == ReadFileError::NOT_FOUND)
        return load;
    load.state = SettingsLoad::DAMAGED;
    if (error != ReadFileError::NONE) {
        load.problem = String("it ") + ReadFileErrorText(error);
        return load;
    }
    CMemoryStream stream(bytes.data(), bytes.size());
    load.settings = ReadSettings(stream, load.problem);
    if (load.problem.empty())
        load.state = SettingsLoad::READ;
    return load;
}

Settings LoadSettings(const String& path) {
    return ReadSettingsFile(path).settings;
}

bool MoveSettingsAside(const String& path, String& error) {
    std::error_code failure;
    std::filesystem::rename(platform::NativePath(path),
                            platform::NativePath(path + SETTINGS_BAD_SUFFIX), failure);
    error = failure ? failure.message() : String();
    return !failure;
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
