#include "watch/core/ProgramCommandLine.h"

#include "common/AsciiCase.h"

#include <memory>
#include <string_view>

namespace quillory {

namespace {

constexpr std::string_view CONNECT_SWITCH = "-connect=";
constexpr std::string_view PORT_SWITCH = "-port=";
constexpr std::string_view PASSWORD_SWITCH = "-password=";
constexpr std::string_view NOSPLASH_SWITCH = "-nosplash";

// The folder holding the program. Both separators count: the path comes from the system,
// which writes "\" on Windows and "/" elsewhere.
String FolderOf(const String& path) {
    const size_t last = path.find_last_of("\\/");
    return last == String::npos ? String() : path.substr(0, last + 1);
}

bool TakeSwitch(const String& word, std::string_view name, String& value) {
    if (!StartsWithNoCase(word, name))
        return false;
    value = word.substr(name.size());
    return true;
}

void TakeWord(ProgramCommandLine& line, const String& word) {
    if (TakeSwitch(word, CONNECT_SWITCH, line.host) || TakeSwitch(word, PORT_SWITCH, line.port) ||
        TakeSwitch(word, PASSWORD_SWITCH, line.password))
        return;
    // The game is always started without its splash screen: the switch is never stored.
    if (StartsWithNoCase(word, NOSPLASH_SWITCH))
        return;
    if (!line.extraParameters.empty())
        line.extraParameters += ' ';
    line.extraParameters += word;
}

} // namespace

ProgramCommandLine ParseProgramCommandLine(const std::vector<String>& words) {
    ProgramCommandLine line;
    if (words.empty())
        return line;
    line.programPath = words.front();
    line.programFolder = FolderOf(line.programPath);
    for (size_t i = 1; i < words.size(); ++i)
        TakeWord(line, words[i]);
    return line;
}

bool ApplyProgramCommandLine(const ProgramCommandLine& line, HandleArray<ServerEntry>& entries,
                             int32_t& selected) {
    // An empty host names no server; an entry ":" would only ever be a bad address.
    if (line.host.empty())
        return false;
    // The colon is written even without a port, so the entry is found again next time.
    const String address = line.host + ":" + line.port;
    Handle<ServerEntry> entry;
    size_t index = 0;
    for (; index < entries.size(); ++index) {
        if (entries[index] && EqualsNoCase(entries[index]->address, address)) {
            entry = entries[index];
            break;
        }
    }
    if (!entry) {
        entry = std::make_shared<ServerEntry>();
        entry->address = address;
        entry->description = address;
        entry->automaticMods = true;
        entries.push_back(entry);
        index = entries.size() - 1;
    }
    entry->password = line.password;
    entry->startupParameters = line.extraParameters;
    selected = static_cast<int32_t>(index);
    return true;
}

} // namespace quillory
