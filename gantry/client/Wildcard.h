#pragma once
// Whole-text wildcard match of archive entry paths against directive patterns.

#include <string_view>

namespace quillory {

// '*' matches any run (including none and including '\'), '?' exactly one character, anything
// else the same character ignoring ASCII case. An empty pattern matches only an empty text.
bool MatchWildcard(std::string_view text, std::string_view pattern);

} // namespace quillory
