#include "common/PrintableText.h"

#include <gtest/gtest.h>

using namespace quillory;

TEST(PrintableText, ReplacesControlsAndKeepsEverythingElse) {
    const struct {
        const char* what;
        std::string in, out;
    } cases[] = {
        {"plain text", "Dedicated server on Kolgujev", "Dedicated server on Kolgujev"},
        {"empty", "", ""},
        {"escape sequence", "\x1b[2J\x1b]0;owned\x07name", "?[2J?]0;owned?name"},
        {"line breaks and tabs", "a\nb\rc\td", "a?b?c?d"},
        {"zero byte and DEL", std::string("a\0b\x7f", 4), "a?b?"},
        {"C1 control as one byte",
         "x\x9b"
         "31m",
         "x?31m"},
        {"C1 control in UTF-8",
         "x\xc2\x9b"
         "31m\xc2\x85",
         "x?31m?"},
        {"overlong UTF-8 form of a C1 control", "\xe0\x82\x9b", "\xe0??"},
        {"overlong UTF-8 form of ESC", "\xc0\x9b", "\xc0?"},
        {"code page 1252 letters", "Caf\xe9 \xa3\xff", "Caf\xe9 \xa3\xff"},
        {"UTF-8 letters", "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82",
         "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82"},
        {"no-break space in UTF-8",
         "a\xc2\xa0"
         "b",
         "a\xc2\xa0"
         "b"},
        {"cut UTF-8 sequence at the end", "\xe2\x82", "\xe2?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrintableText(c.in), c.out) << c.what;
}
