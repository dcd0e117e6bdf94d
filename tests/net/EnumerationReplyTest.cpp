#include "net/EnumerationReply.h"
#include "EngineFixture.h"
#include "ReplyBytes.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillory;
using namespace quillory::test;

namespace {

using EnumerationReply = EngineFixture;

} // namespace

TEST_F(EnumerationReply, SocketsReplyFillsTheRecord) {
    EnumFields f;
    Feed(SocketsReply(352, f));
    ServerStatus s = Status();
    EXPECT_EQ(s.implementation, IMPL_SOCKETS);
    EXPECT_EQ(s.description, f.description);
    EXPECT_EQ(s.mission, f.mission);
    EXPECT_EQ(s.version, 196);
    EXPECT_EQ(s.requiredVersion, 195);
    EXPECT_EQ(s.state, 14);
    EXPECT_TRUE(s.locked);
    EXPECT_EQ(s.players, 5);
    EXPECT_EQ(s.port, GAME_PORT);
}

// The count sits at 344; a reply that ends before its four bytes leaves it as it was.
TEST_F(EnumerationReply, SocketsReplyChangesPlayersOnlyWhenItHoldsTheCount) {
    const std::vector<std::pair<size_t, int32_t>> cases = {{344, 9}, {345, 9}, {347, 9}, {348, 5}};
    for (const auto& [length, players] : cases) {
        {
            std::lock_guard guard(state.StatusLock());
            state.status.players = 9;
        }
        Feed(SocketsReply(length, EnumFields{}));
        EXPECT_EQ(Status().players, players) << length;
        EXPECT_EQ(Status().state, 14) << length;
    }
}

TEST_F(EnumerationReply, TooShortRepliesAreIgnored) {
    EnumFields f;
    std::string sockets = SocketsReply(348, f).substr(0, 340);
    Put16(sockets, 0, 340);
    Feed(sockets);
    Feed(DirectPlayReply(f).substr(0, 143));
    Feed(std::string("\x02\x00", 2));
    Feed(std::string("\x01", 1));
    Feed(std::string());
    EXPECT_EQ(Status().implementation, IMPL_NONE);
    EXPECT_EQ(Status().state, 0);
}

TEST_F(EnumerationReply, SocketsTextsStayInsideTheirFields) {
    EnumFields f;
    f.description = std::string(256, 'D'); // fills its field with no terminator
    f.mission = std::string(40, 'M');
    Feed(SocketsReply(348, f));
    EXPECT_EQ(Status().description, std::string(256, 'D'));
    EXPECT_EQ(Status().mission, std::string(40, 'M'));
}

TEST_F(EnumerationReply, DirectPlayReplyCountsTwoLessPlayersAndConvertsTheName) {
    const std::vector<std::pair<uint32_t, int32_t>> cases = {{5, 3}, {2, 0}, {1, 0}, {0, 0}};
    for (const auto& [sessionPlayers, shown] : cases) {
        EnumFields f;
        f.players = sessionPlayers;
        Feed(DirectPlayReply(f, u"Caf\u00e9 \u4e2d"));
        ServerStatus s = Status();
        EXPECT_EQ(s.players, shown) << sessionPlayers;
        EXPECT_EQ(s.implementation, IMPL_DIRECTPLAY);
        EXPECT_EQ(s.description, "Caf\xe9 ?");
        EXPECT_EQ(s.mission, f.mission);
        EXPECT_TRUE(s.locked);
        EXPECT_EQ(s.version, 196);
        EXPECT_EQ(s.state, 14);
    }
}

TEST_F(EnumerationReply, DirectPlayNameIsCutAtTheBufferSizeAndAtTheDatagramEnd) {
    Feed(DirectPlayReply(EnumFields{}, std::u16string(300, u'n')));
    EXPECT_EQ(Status().description, std::string(255, 'n'));
    std::string odd = DirectPlayReply(EnumFields{}, u"ab");
    odd.resize(odd.size() - 3); // "a" and half of "b", no terminator
    Feed(odd);
    EXPECT_EQ(Status().description, "a");
}

TEST_F(EnumerationReply, PingIsTakenOnlyByTheFirstReplyAfterACycleStarts) {
    Feed(SocketsReply(348, EnumFields{}));
    EXPECT_EQ(Status().ping, 0) << "no cycle has started";
    engine.HandleMessage(QM_START, 0, 0); // runs a cycle at tick 1000
    now = 1037;
    Feed(SocketsReply(348, EnumFields{}));
    EXPECT_EQ(Status().ping, 37);
    now = 1500;
    Feed(SocketsReply(348, EnumFields{}));
    EXPECT_EQ(Status().ping, 37);
}

TEST_F(EnumerationReply, UnknownGamePortIsLearnedFromTheFirstReply) {
    engine.HandleMessage(QM_SET_SERVER, LoopbackAddress(), 0);
    Feed(SocketsReply(348, EnumFields{}), 2305);
    EXPECT_EQ(Status().port, 0) << "no probe went to 2305";
    Feed(DirectPlayReply(EnumFields{}), 2234);
    EXPECT_EQ(Status().port, 2234);
    Feed(SocketsReply(348, EnumFields{}), 2302);
    EXPECT_EQ(Status().port, 2234) << "learned once";
}

// The parsers on their own: a reply too short for its fixed fields changes nothing at all.
TEST(EnumerationReplyParser, ShortRepliesLeaveTheStatusUntouched) {
    ServerStatus before;
    before.description = "kept";
    before.players = 3;
    before.state = 7;
    const std::string sockets = SocketsReply(348, EnumFields{});
    const std::string directPlay = DirectPlayReply(EnumFields{});
    for (size_t length : {size_t(0), size_t(1), size_t(100), size_t(340)}) {
        ServerStatus s = before;
        EXPECT_FALSE(
            ParseSocketsReply(reinterpret_cast<const uint8_t*>(sockets.data()), length, s));
        EXPECT_FALSE(ParseDirectPlayReply(reinterpret_cast<const uint8_t*>(directPlay.data()),
                                          std::min(length, size_t(143)), s));
        EXPECT_EQ(s.description, "kept") << length;
        EXPECT_EQ(s.players, 3) << length;
        EXPECT_EQ(s.state, 7) << length;
    }
    ServerStatus s = before;
    EXPECT_TRUE(ParseSocketsReply(reinterpret_cast<const uint8_t*>(sockets.data()), 341, s));
    EXPECT_EQ(s.players, 3) << "a 341-byte reply does not hold the count";
    EXPECT_EQ(s.state, 14);
}
