#include "platform/WineRegistry.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "platform/FileSystem.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace quillory::platform {

namespace {

constexpr std::string_view WOW64_NODE = "Wow6432Node\\";

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A UTF-16 unit as UTF-8 bytes, as file names are on this system.
void AppendUtf8(String& out, unsigned code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Reads text escaped the way Wine writes registry names and strings, up to the unescaped
// `end` character; `pos` is left after it. None when the text ends first.
std::optional<String> ReadEscaped(std::string_view line, size_t& pos, char end) {
    String out;
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == end)
            return out;
        if (c != '\\' || pos >= line.size()) {
            out += c;
            continue;
        }
        c = line[pos++];
        switch (c) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'a':
            out += '\a';
            break;
        case 'b':
            out += '\b';
            break;
        case 'e':
            out += '\x1b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'v':
            out += '\v';
            break;
        case 'x': {
            unsigned code = 0;
            int digits = 0;
            for (int d; digits < 4 && pos < line.size() && (d = HexDigit(line[pos])) >= 0;
                 ++digits, ++pos)
                code = code * 16 + unsigned(d);
            if (digits == 0)
                out += 'x';
            else
                AppendUtf8(out, code);
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                unsigned code = unsigned(c - '0');
                for (int digits = 1;
                     digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                     ++digits)
                    code = code * 8 + unsigned(line[pos++] - '0');
                AppendUtf8(out, code);
            } else {
                out += c; // "\\", "\"", "\]" and anything else stand for themselves
            }
        }
    }
    return std::nullopt;
}

// The key of a "[key] timestamp" line, or none for any other line.
std::optional<String> SectionKey(std::string_view line) {
    if (line.empty() || line[0] != '[')
        return std::nullopt;
    size_t pos = 1;
    return ReadEscaped(line, pos, ']');
}

// The string of a `"name"="text"` or `@="text"` line whose name is `valueName`.
std::optional<String> ValueOfLine(std::string_view line, std::string_view valueName) {
    size_t pos = 0;
    String name;
    if (line.starts_with("@=")) {
        name = "@";
        pos = 1;
    } else if (line.starts_with("\"")) {
        pos = 1;
        auto read = ReadEscaped(line, pos, '"');
        if (!read)
            return std::nullopt;
        name = *read;
    } else {
        return std::nullopt;
    }
    if (!EqualsNoCase(name, valueName) || pos >= line.size() || line[pos] != '=')
        return std::nullopt;
    std::string_view value = line.substr(pos + 1);
    // Plain strings and strings with environment references ("str(2):") hold text.
    if (value.starts_with("str(2):"))
        value.remove_prefix(7);
    if (!value.starts_with("\""))
        return std::nullopt;
    size_t valuePos = 1;
    return ReadEscaped(value, valuePos, '"');
}

} // namespace

String DefaultWinePrefix() {
    if (String prefix = WinePrefixVariable(); !prefix.empty())
        return prefix;
    if (String home = HomeFolder(); !home.empty())
        return home + "/.wine";
    return String();
}

String WinePrefixVariable() {
    const char* prefix = std::getenv("WINEPREFIX");
    return prefix ? String(prefix) : String();
}

String HomeFolder() {
    const char* home = std::getenv("HOME");
    return home ? String(home) : String();
}

std::optional<String> FindRegistryValue(std::string_view fileText, std::string_view key,
                                        std::string_view valueName) {
    bool inKey = false;
    size_t start = 0;
    while (start < fileText.size()) {
        size_t end = fileText.find('\n', start);
        if (end == std::string_view::npos)
            end = fileText.size();
        std::string_view line = fileText.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        if (auto section = SectionKey(line)) {
            inKey = EqualsNoCase(*section, key);
            continue;
        }
        if (inKey)
            if (auto value = ValueOfLine(line, valueName))
                return value;
    }
    return std::nullopt;
}

std::optional<String> ReadLocalMachineValue(const String& winePrefix, std::string_view key,
                                            std::string_view valueName) {
    if (winePrefix.empty())
        return std::nullopt;
    String text;
    // A link to a device or a pipe in the prefix must neither exhaust memory nor block.
    if (ReadRegularFile(winePrefix + "/system.reg", text, REGISTRY_MAX_FILE_BYTES) !=
        ReadFileError::NONE)
        return std::nullopt;
    if (auto value = FindRegistryValue(text, key, valueName))
        return value;
    const size_t slash = key.find('\\');
    if (slash == std::string_view::npos || !EqualsNoCase(key.substr(0, slash), "Software"))
        return std::nullopt;
    const String wowKey =
        String(key.substr(0, slash + 1)) + String(WOW64_NODE) + String(key.substr(slash + 1));
    return FindRegistryValue(text, wowKey, valueName);
}

std::optional<String> MapWindowsPath(const String& winePrefix, std::string_view windowsPath) {
    if (winePrefix.empty() || windowsPath.size() < 2 || windowsPath[1] != ':')
        return std::nullopt;
    const char letter = ToLowerAscii(windowsPath[0]);
    if (letter < 'a' || letter > 'z')
        return std::nullopt;
    std::error_code error;
    std::filesystem::path drive =
        letter == 'c'
            ? std::filesystem::path(winePrefix) / "drive_c"
            : std::filesystem::canonical(
                  std::filesystem::path(winePrefix) / "dosdevices" / String{letter, ':'}, error);
    if (error || !std::filesystem::is_directory(drive, error))
        return std::nullopt;
    String rest(windowsPath.substr(2));
    while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/'))
        rest.erase(rest.begin());
    String base = drive.string();
    if (base.empty() || base.back() != '/')
        base += '/';
    return rest.empty() ? base : ResolveCase(base + rest);
}

} // namespace quillory::platform
