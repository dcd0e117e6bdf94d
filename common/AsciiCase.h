#pragma once
// Comparisons that fold A-Z to a-z and nothing else, as the database and file names need.

#include <string>
#include <string_view>

namespace quillory {

constexpr char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
constexpr char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Negative, zero or positive as a sorts before, with or after b once folded.
int CompareNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
// Position of `needle` in `text` ignoring ASCII case, or npos.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from = 0);

} // namespace quillory
