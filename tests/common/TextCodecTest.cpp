// Windows-1252 text from the network into UTF-8 for the window.
#include "common/TextCodec.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <optional>
#include <string>
#include <vector>

using namespace quillory;

namespace {

// The system's own converter as a second opinion; nothing for bytes it calls undefined.
std::optional<std::string> SystemCp1252ToUtf8(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-8", "CP1252");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string in = bytes;
    std::string out(bytes.size() * 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == size_t(-1))
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

TEST(TextCodec, Cp1252BytesBecomeTheirCharacters) {
    struct Case {
        std::string bytes, utf8;
    };
    const std::vector<Case> cases = {
        {"Plain ASCII ~!\t", "Plain ASCII ~!\t"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
        {"\x80", "\xE2\x82\xAC"}, // euro sign
        {"\x81", "\xEF\xBF\xBD"}, // undefined: replacement character
        {"\x8D\x8F\x90\x9D", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\x8A", "\xC5\xA0"}, // S with caron
        {"\x93quoted\x94", "\xE2\x80\x9Cquoted\xE2\x80\x9D"},
        {"\x96\x97", "\xE2\x80\x93\xE2\x80\x94"}, // dashes
        {"\x99", "\xE2\x84\xA2"},                 // trade mark
        {"\x9F", "\xC5\xB8"},                     // Y with diaeresis
        {"\xA0", "\xC2\xA0"},                     // no-break space
        {"Caf\xE9", "Caf\xC3\xA9"},
        {"\xFF", "\xC3\xBF"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Cp1252ToUtf8(c.bytes), c.utf8) << c.bytes;
}

TEST(TextCodec, EveryDefinedByteMatchesTheSystemConverter) {
    if (!SystemCp1252ToUtf8("a"))
        GTEST_SKIP() << "no CP1252 converter on this system";
    int undefined = 0;
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, char(b));
        auto expected = SystemCp1252ToUtf8(byte);
        if (!expected) {
            ++undefined;
            EXPECT_EQ(Cp1252ToUtf8(byte), "\xEF\xBF\xBD") << "byte " << b;
            continue;
        }
        EXPECT_EQ(Cp1252ToUtf8(byte), *expected) << "byte " << b;
    }
    EXPECT_EQ(undefined, 5);
}

TEST(TextCodec, TypedUtf8BecomesCp1252) {
    struct Case {
        std::string utf8, bytes;
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"Caf\xC3\xA9", "Caf\xE9"},
        {"\xE2\x82\xAC"
         "5",
         "\x80"
         "5"}, // euro sign
        {"\xE2\x80\x9Cq\xE2\x80\x9D", "\x93q\x94"},
        {"\xC5\xB8", "\x9F"},
        {"\xE6\x97\xA5", "?"},       // not in the code page
        {"\xF0\x9F\x98\x80!", "?!"}, // nor is anything beyond the first plane
        {"\xEF\xBF\xBD", "?"},       // the replacement character stands for nothing
        {"\xC2\x81", "?"},           // a control character the code page lacks
        {"a\xC3", "a?"},             // cut short
        {"\xC3(", "?("},             // continuation missing
        {"\xC0\xAF", "??"},          // overlong
        {"\xED\xA0\x80", "???"},     // a lone surrogate half
        {"\x80", "?"},               // a stray continuation byte
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.bytes) << c.utf8;
}

TEST(TextCodec, EveryDefinedByteSurvivesTheRoundTrip) {
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, char(b));
        const bool undefined = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(byte)), undefined ? "?" : byte) << "byte " << b;
    }
}
