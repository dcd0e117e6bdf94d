#include "common/Tokenizer.h"

namespace quillory {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\b' || c == '\f' || c == '\t' || c == '\v';
}

} // namespace

std::vector<std::string> TokenizeCommandLine(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    auto endWord = [&] {
        if (!word.empty())
            words.push_back(std::move(word));
        word.clear();
    };
    for (char c : text) {
        if (c == '"') {
            // A quote always ends the current word: opening starts a quoted run, closing ends it.
            endWord();
            quoted = !quoted;
        } else if (!quoted && IsBlank(c)) {
            endWord();
        } else {
            word += c;
        }
    }
    endWord();
    return words;
}

} // namespace quillory
