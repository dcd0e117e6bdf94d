#include "gantry/client/Wildcard.h"

#include "common/AsciiCase.h"

namespace quillory {

bool MatchWildcard(std::string_view text, std::string_view pattern) {
    // Greedy walk that returns to the last '*' on a mismatch: linear backtracking only, so a
    // hostile pattern with many stars cannot blow up.
    size_t t = 0, p = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
            if (p == pattern.size())
                return true; // a final '*' takes the rest at once
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || ToLowerAscii(pattern[p]) == ToLowerAscii(text[t]))) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace quillory
