#include "common/AsciiCase.h"

namespace quillory {

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = ToLowerAscii(c);
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = ToUpperAscii(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i]))
            return false;
    return true;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(ToLowerAscii(a[i]));
        auto cb = static_cast<unsigned char>(ToLowerAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
    if (needle.size() > text.size())
        return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= text.size(); ++i)
        if (EqualsNoCase(text.substr(i, needle.size()), needle))
            return i;
    return std::string_view::npos;
}

} // namespace quillory
