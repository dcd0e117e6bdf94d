#include "common/TextCodec.h"

#include <cstdint>
#include <iterator>
#include <optional>

namespace quillory {

namespace {

// Shown for a byte with no character: the reader sees that something was there, where a
// control character would show nothing and a guess would show a wrong letter.
constexpr char32_t REPLACEMENT = 0xFFFD;

// 0x80-0x9F, where Windows-1252 departs from Latin-1: typographic quotes, dashes, the euro
// sign and a few letters that the game's texts use.
constexpr char32_t HIGH_CONTROL_RANGE[32] = {
    0x20AC,      REPLACEMENT, 0x201A, 0x0192, 0x201E, 0x2026,      0x2020, 0x2021,
    0x02C6,      0x2030,      0x0160, 0x2039, 0x0152, REPLACEMENT, 0x017D, REPLACEMENT,
    REPLACEMENT, 0x2018,      0x2019, 0x201C, 0x201D, 0x2022,      0x2013, 0x2014,
    0x02DC,      0x2122,      0x0161, 0x203A, 0x0153, REPLACEMENT, 0x017E, 0x0178};

char32_t CodePoint(uint8_t byte) {
    if (byte >= 0x80 && byte < 0xA0)
        return HIGH_CONTROL_RANGE[byte - 0x80];
    // ASCII and 0xA0-0xFF are Latin-1, whose numbers are the Unicode code points.
    return byte;
}

void AppendUtf8(String& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

constexpr char UNMAPPABLE = '?';

// The next code point of UTF-8 text at `pos`, advancing past it; nothing for a broken,
// overlong or surrogate sequence, which then counts as one byte.
std::optional<char32_t> NextCodePoint(const String& text, size_t& pos) {
    const uint8_t lead = static_cast<uint8_t>(text[pos++]);
    if (lead < 0x80)
        return lead;
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || lead > 0xF4 || pos + size_t(extra) > text.size())
        return std::nullopt;
    char32_t c = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        const uint8_t next = static_cast<uint8_t>(text[pos + size_t(i)]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t SMALLEST[4] = {0, 0x80, 0x800, 0x10000};
    if (c < SMALLEST[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    pos += size_t(extra);
    return c;
}

char ToCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (size_t i = 0; i < std::size(HIGH_CONTROL_RANGE); ++i)
        if (HIGH_CONTROL_RANGE[i] == c && c != REPLACEMENT)
            return char(0x80 + i);
    return UNMAPPABLE;
}

} // namespace

String Cp1252ToUtf8(const String& text) {
    String out;
    out.reserve(text.size());
    for (char c : text)
        AppendUtf8(out, CodePoint(static_cast<uint8_t>(c)));
    return out;
}

String Utf8ToCp1252(const String& text) {
    String out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const std::optional<char32_t> c = NextCodePoint(text, pos);
        out += c ? ToCp1252(*c) : UNMAPPABLE;
    }
    return out;
}

} // namespace quillory
