#include "EngineFixture.h"
#include "ReplyBytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillory;
using namespace quillory::test;

namespace {

const std::string FULL_PAIRS = "\\gamename\\ironval\\mapname\\Everon\\maxplayers\\32"
                               "\\timeleft\\17\\param1\\p1\\param2\\p2\\platform\\win"
                               "\\player_0\\Bob\\team_0\\1\\score_0\\12\\deaths_0\\3"
                               "\\player_1\\Eve\\team_1\\2\\score_1\\4\\deaths_1\\0"
                               "\\final\\";

// The reply of FULL_PAIRS cut into pieces at pair boundaries.
std::vector<std::string> FourPieces() {
    return {"\\gamename\\ironval\\mapname\\Everon\\maxplayers\\32",
            "\\timeleft\\17\\param1\\p1\\param2\\p2\\platform\\win",
            "\\player_0\\Bob\\team_0\\1\\score_0\\12\\deaths_0\\3"
            "\\player_1\\Eve\\team_1\\2",
            "\\score_1\\4\\deaths_1\\0\\final\\"};
}

void ExpectFullReply(const ServerStatus& s) {
    EXPECT_EQ(s.gameType, "ironval");
    EXPECT_EQ(s.map, "Everon");
    EXPECT_EQ(s.maxPlayers, "30");
    EXPECT_EQ(s.timeLeft, "17");
    EXPECT_EQ(s.param1, "p1");
    EXPECT_EQ(s.param2, "p2");
    EXPECT_EQ(s.platform, "win");
    ASSERT_EQ(s.playerList.size(), 2u);
    EXPECT_EQ(s.playerList[0]->name, "Bob");
    EXPECT_EQ(s.playerList[0]->score, "12");
    EXPECT_EQ(s.playerList[0]->deaths, "3");
    EXPECT_EQ(s.playerList[1]->name, "Eve");
    EXPECT_EQ(s.playerList[1]->score, "4");
    EXPECT_EQ(s.playerList[1]->deaths, "0");
}

using StatusReply = EngineFixture;

} // namespace

TEST_F(StatusReply, OneDatagramIsCompleteAtOnceAndRebuildsThePlayerList) {
    Feed(StatusDatagram("\\gamename\\ironval\\player_0\\Old\\a\\1\\b\\2\\c\\3\\final\\", "6", 0),
         GAME_PORT + 1);
    ASSERT_EQ(Status().playerList.size(), 1u);
    Feed(StatusDatagram(FULL_PAIRS, "7", 0), GAME_PORT + 1);
    EXPECT_EQ(StatusReplies(), 2u);
    ExpectFullReply(Status());
}

TEST_F(StatusReply, FinalDatagramFirstWaitsForTheFirst) {
    Feed(StatusDatagram("\\player_0\\Bob\\team_0\\1\\score_0\\12\\deaths_0\\3\\final\\", "7", 1));
    EXPECT_EQ(StatusReplies(), 0u);
    Feed(StatusDatagram("\\gamename\\ironvalu\\mapname\\Nogova", "7", 0));
    EXPECT_EQ(StatusReplies(), 1u);
    ServerStatus s = Status();
    EXPECT_EQ(s.gameType, "ironvalu");
    EXPECT_EQ(s.map, "Nogova");
    ASSERT_EQ(s.playerList.size(), 1u);
    EXPECT_EQ(s.playerList[0]->score, "12");
}

// Pieces in any order make one reply only once all of them are here; a player whose block is
// split over two datagrams keeps his own score and deaths.
TEST_F(StatusReply, ShuffledFourDatagramReplyNeedsEveryPieceAndJoinsSplitPlayers) {
    const std::vector<std::vector<int>> orders = {
        {2, 0, 1, 3}, {3, 2, 1, 0}, {1, 3, 0, 2}, {3, 0, 2, 1}, {0, 1, 2, 3}};
    uint32_t replies = 0;
    for (size_t o = 0; o < orders.size(); ++o) {
        SCOPED_TRACE("order " + std::to_string(o));
        const std::string id = std::to_string(100 + o);
        auto pieces = FourPieces();
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(StatusReplies(), replies) << "complete before every piece arrived";
            int n = orders[o][i];
            Feed(StatusDatagram(pieces[n], id, n));
        }
        EXPECT_EQ(StatusReplies(), ++replies);
        ExpectFullReply(Status());
    }
}

TEST_F(StatusReply, NewQueryIdDiscardsTheOldPieces) {
    Feed(StatusDatagram("\\mapname\\Old\\final\\", "7", 1));
    Feed(StatusDatagram("\\gamename\\ironval", "8", 0));
    EXPECT_EQ(StatusReplies(), 0u) << "piece 1 of query 7 must not complete query 8";
    Feed(StatusDatagram("\\mapname\\New\\final\\", "8", 1));
    EXPECT_EQ(StatusReplies(), 1u);
    EXPECT_EQ(Status().map, "New");
}

TEST_F(StatusReply, MaxPlayersIsStoredLessTwoAndNeverBelowZero) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1", "0"},  {"32", "30"}, {"2", "0"},
        {"-5", "0"}, {"abc", "0"}, {"99999999999", "2147483645"}};
    int id = 0;
    for (const auto& [value, shown] : cases) {
        Feed(StatusDatagram("\\gamename\\ironval\\maxplayers\\" + value + "\\final\\",
                            std::to_string(++id), 0));
        EXPECT_EQ(Status().maxPlayers, shown) << value;
    }
}

TEST_F(StatusReply, UnfinishedPlayerIsDroppedAndAbsentKeysKeepTheirValues) {
    Feed(StatusDatagram("\\gamename\\ironval\\mapname\\Everon\\timeleft\\20\\final\\", "1", 0));
    Feed(StatusDatagram("\\gamename\\ironval\\player_0\\Bob\\team_0\\1\\score_0\\5\\deaths_0\\2"
                        "\\player_1\\Eve\\team_1\\1\\score_1\\5\\final\\",
                        "2", 0));
    ServerStatus s = Status();
    ASSERT_EQ(s.playerList.size(), 1u);
    EXPECT_EQ(s.playerList[0]->name, "Bob");
    EXPECT_EQ(s.map, "Everon");
    EXPECT_EQ(s.timeLeft, "20");
}

TEST_F(StatusReply, DatagramsWithoutAUsableQueryIdAreIgnored) {
    const std::string pairs = "\\gamename\\ironval\\mapname\\Bad\\final\\";
    const std::vector<std::string> bad = {
        pairs,                             // no queryid pair
        pairs + "\\queryid\\77",           // no datagram number
        pairs + "\\queryid\\7.-1",         // negative number
        pairs + "\\queryid\\7.65",         // beyond the bound
        pairs + "\\queryid\\7.4294967297", // overflowing number
        pairs + "\\queryid\\7.x",          // not a number
        pairs + "\\queryid\\7.",           // empty number
        pairs + "\\QUERYID\\7.0",          // key compared exactly
        "\\qid\\7.0",                      // backslash before index 7
    };
    for (const auto& datagram : bad)
        Feed(datagram);
    EXPECT_EQ(StatusReplies(), 0u);
    EXPECT_EQ(Status().map, "");
    Feed(StatusDatagram("\\gamename\\x", "9", 0));
    Feed(StatusDatagram(pairs, "9", 64)); // the highest number kept: stored, not complete
    EXPECT_EQ(StatusReplies(), 0u);
}

TEST_F(StatusReply, LongKeysAndValuesAreCutAndBytesAfterAZeroAreNotText) {
    const std::string longValue(300, 'm');
    const std::string longKey = "player_" + std::string(400, 'k');
    Feed(StatusDatagram("\\gamename\\ironval\\mapname\\" + longValue + "\\" + longKey +
                            "\\Bob\\t\\1\\s\\2\\d\\3\\final\\",
                        "1", 0));
    ServerStatus s = Status();
    EXPECT_EQ(s.map, std::string(255, 'm'));
    ASSERT_EQ(s.playerList.size(), 1u);
    EXPECT_EQ(s.playerList[0]->name, "Bob");

    std::string withZero = StatusDatagram("\\gamename\\ironval\\mapname\\Z\\final\\", "2", 0);
    withZero.insert(20, 1, '\0');
    Feed(withZero);
    EXPECT_EQ(StatusReplies(), 1u) << "text ends at the zero, which cuts off its queryid";
}

TEST_F(StatusReply, OtherAddressesAndTheBrowserPortAreNotTheServer) {
    const std::string reply = StatusDatagram(FULL_PAIRS, "7", 0);
    Feed(reply, GAME_PORT + 1, LoopbackAddress() + (1u << 24)); // 127.0.0.2
    Feed(reply, BROWSER_SERVER_PORT);
    EXPECT_EQ(StatusReplies(), 0u);
}

// Two servers on one host: after a change of server, a late reply of the first one (from its
// own ports) must not be taken for the second, nor its query port kept as the second's.
TEST_F(StatusReply, RepliesFromPortsNotAskedAreNotTheServer) {
    const std::string reply = StatusDatagram(FULL_PAIRS, "7", 0);
    const uint16_t otherServer = GAME_PORT + 300;
    Feed(reply, otherServer + 1);
    Feed(reply, otherServer);
    Feed(reply, GAME_PORT + 3);
    EXPECT_EQ(StatusReplies(), 0u);
    Feed(reply, GAME_PORT + 2);
    EXPECT_EQ(StatusReplies(), 1u);
}
