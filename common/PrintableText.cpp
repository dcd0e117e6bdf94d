#include "common/PrintableText.h"

#include <cstdint>

namespace quillory {

namespace {

constexpr char REPLACEMENT = '?';

bool IsContinuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at` (2 to 4), or 0 when there is none.
// Overlong forms are not well-formed, so none of them can smuggle a control past the check.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const uint8_t lead = uint8_t(text[at]);
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || text.size() - at < length)
        return 0;
    const uint8_t second = uint8_t(text[at + 1]);
    if (second < low || second > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (!IsContinuation(uint8_t(text[at + i])))
            return 0;
    return length;
}

bool IsControl(uint8_t byte) {
    return byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F);
}

} // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const size_t sequence = Utf8SequenceLength(text, at);
        if (sequence == 2 && uint8_t(text[at]) == 0xC2 && uint8_t(text[at + 1]) <= 0x9F) {
            out += REPLACEMENT; // U+0080 to U+009F: a C1 control in UTF-8
        } else if (sequence > 0) {
            out.append(text.substr(at, sequence));
        } else {
            out += IsControl(uint8_t(text[at])) ? REPLACEMENT : text[at];
        }
        at += sequence > 0 ? sequence : 1;
    }
    return out;
}

} // namespace quillory
