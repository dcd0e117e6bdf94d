// The command line a later copy hands to the running one: its bytes, and what the running copy
// refuses to read.
#include "watch/core/InstanceMessage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillory;
using State = CInstanceMessageReader::State;

namespace {

// Little-endian 32 bits, written here independently of the encoder.
std::string U32(uint32_t value) {
    return {char(value & 0xFF), char((value >> 8) & 0xFF), char((value >> 16) & 0xFF),
            char((value >> 24) & 0xFF)};
}

std::string Message(const std::vector<std::string>& words) {
    std::string body;
    for (const std::string& word : words)
        body += U32(uint32_t(word.size())) + word;
    return "QLN1" + U32(uint32_t(body.size())) + body;
}

State FeedAll(CInstanceMessageReader& reader, const std::string& bytes) {
    return reader.Feed(bytes.data(), bytes.size());
}

} // namespace

TEST(InstanceMessage, EncodesEveryWordWithItsLength) {
    const std::vector<String> words = {"/opt/q/quillory", "-connect=127.0.0.1", "-port=3201",
                                       "two words\nand a line", ""};
    const std::string expected = std::string("QLN1") + U32(83) + U32(15) + "/opt/q/quillory" +
                                 U32(18) + "-connect=127.0.0.1" + U32(10) + "-port=3201" + U32(20) +
                                 "two words\nand a line" + U32(0);
    EXPECT_EQ(CInstanceMessageReader::Encode(words), expected);
}

TEST(InstanceMessage, ReadsAMessageInAnyPieces) {
    const std::vector<std::string> words = {"quillory", "-connect=127.0.0.1", "-mod=@x y"};
    const std::string bytes = Message(words);
    for (size_t piece : {size_t(1), size_t(3), size_t(8), bytes.size()}) {
        SCOPED_TRACE(piece);
        CInstanceMessageReader reader;
        State state = State::INCOMPLETE;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            EXPECT_EQ(state, State::INCOMPLETE);
            state = reader.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
        }
        ASSERT_EQ(state, State::COMPLETE);
        EXPECT_EQ(reader.Words(), (std::vector<String>(words.begin(), words.end())));
    }
}

TEST(InstanceMessage, RefusesWhatIsNotAWholeLine) {
    const uint32_t most = CInstanceMessageReader::MAX_BODY_BYTES;
    const std::string over = std::string(most - 4, 'x');
    struct Case {
        const char* name;
        std::string bytes;
        State state;
    };
    const Case cases[] = {
        {"the old restore line", "restore\n", State::MALFORMED},
        {"wrong start", "QLN2" + U32(0), State::MALFORMED},
        {"wrong first byte, told at once", "x", State::MALFORMED},
        {"no words", "QLN1" + U32(0), State::MALFORMED},
        {"body too long", "QLN1" + U32(CInstanceMessageReader::MAX_BODY_BYTES + 1),
         State::MALFORMED},
        {"length at the bound, still waiting", "QLN1" + U32(CInstanceMessageReader::MAX_BODY_BYTES),
         State::INCOMPLETE},
        {"word longer than the body", "QLN1" + U32(6) + U32(3) + "ab", State::MALFORMED},
        {"a word's length cut short", "QLN1" + U32(6) + U32(1) + "a" + "\1", State::MALFORMED},
        {"zero byte in a word", "QLN1" + U32(7) + U32(3) + std::string("a\0b", 3),
         State::MALFORMED},
        {"bytes after the message", Message({"q"}) + "Q", State::MALFORMED},
        {"more than a message's worth", "QLN1" + U32(most) + U32(most - 4) + over + "yy",
         State::MALFORMED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CInstanceMessageReader reader;
        EXPECT_EQ(FeedAll(reader, c.bytes), c.state);
        EXPECT_TRUE(reader.Words().empty());
    }
}

TEST(InstanceMessage, BytesAfterAWholeMessageUndoIt) {
    CInstanceMessageReader reader;
    ASSERT_EQ(FeedAll(reader, Message({"quillory", "-connect=127.0.0.1"})), State::COMPLETE);
    EXPECT_EQ(reader.Feed("", 0), State::COMPLETE);
    EXPECT_EQ(FeedAll(reader, "x"), State::MALFORMED);
    EXPECT_TRUE(reader.Words().empty());
}

TEST(InstanceMessage, TooManyWordsAreRefused) {
    std::vector<std::string> words(CInstanceMessageReader::MAX_WORDS + 1, "w");
    CInstanceMessageReader reader;
    EXPECT_EQ(FeedAll(reader, Message(words)), State::MALFORMED);
    words.pop_back();
    CInstanceMessageReader atBound;
    EXPECT_EQ(FeedAll(atBound, Message(words)), State::COMPLETE);
    EXPECT_EQ(atBound.Words().size(), CInstanceMessageReader::MAX_WORDS);
}

TEST(InstanceMessage, LinesBeyondTheBoundsAreNotEncoded) {
    EXPECT_EQ(CInstanceMessageReader::Encode({}), std::string());
    EXPECT_EQ(CInstanceMessageReader::Encode(
                  std::vector<String>(CInstanceMessageReader::MAX_WORDS + 1, "w")),
              std::string());
    EXPECT_EQ(
        CInstanceMessageReader::Encode({"q", String(CInstanceMessageReader::MAX_BODY_BYTES, 'x')}),
        std::string());
    EXPECT_EQ(CInstanceMessageReader::Encode({"q", String("a\0b", 3)}), std::string());
}
