#include "watch/core/ServerEntry.h"

#include "common/AsciiCase.h"
#include "common/Tokenizer.h"

namespace quillory {

namespace {

constexpr std::string_view MOD_SWITCH = "-mod=";

} // namespace

bool HasAutomaticMods(const String& startupParameters) {
    for (const String& word : TokenizeCommandLine(startupParameters))
        if (StartsWithNoCase(word, MOD_SWITCH))
            return word.size() == MOD_SWITCH.size();
    return true;
}

bool AutomaticModsOfOldEntry(const String& startupParameters) {
    for (const String& word : TokenizeCommandLine(startupParameters))
        if (StartsWithNoCase(word, MOD_SWITCH))
            return false;
    return true;
}

} // namespace quillory
