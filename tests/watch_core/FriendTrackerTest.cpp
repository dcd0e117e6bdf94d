// Friends: the name matching as a table of cases, and the tracker's events, once per change and
// across servers.
#include "watch/core/FriendTracker.h"

#include <gtest/gtest.h>

#include <memory>

using namespace quillory;

TEST(FriendTrackerTest, MatchesNamesInAnyCaseWithWildcards) {
    struct Case {
        std::vector<String> patterns;
        const char* player;
        bool expected;
    };
    const Case cases[] = {
        {{"Bob"}, "Bob", true},
        {{"bob"}, "BOB", true},
        {{"Bob"}, "Bobby", false},
        {{"Bob"}, "", false},
        {{"Bob*"}, "Bobby", true},
        {{"*bob"}, "XxBoB", true},
        {{"*bob*"}, "[clan]BOBxx", true},
        {{"b*b"}, "bb", true},
        {{"b*b"}, "b", false},
        {{"*"}, "anyone", true},
        {{"**"}, "", true},
        {{"a*b*c"}, "aXbYbZc", true},
        {{"a*b*c"}, "aXbYbZ", false},
        {{"*a*a*a*a*b"}, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {{""}, "", false},
        {{"", "Eve"}, "eve", true},
        {{"Al", "Bo"}, "Cy", false},
        {{"?"}, "x", false},              // only * is a wildcard
        {{"b.b"}, "bxb", false},          // and nothing else is
        {{"\xC9mile"}, "\xE9MILE", true}, // E acute folds in the code page
        {{"\x8A"
          "ef"},
         "\x9A"
         "EF",
         true},                    // S caron too
        {{"\xD7"}, "\xF7", false}, // but the multiplication sign is no letter
        {{"Bob "}, "Bob", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesFriend(c.patterns, c.player), c.expected)
            << (c.patterns.empty() ? "" : c.patterns[0]) << " / " << c.player;
}

TEST(FriendTrackerTest, TellsEachChangeOnce) {
    CFriendTracker tracker({"bob", "*ann*"});
    auto events = tracker.Update("127.0.0.1:2302", std::vector<String>{"Carl", "Bob"});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "Bob");
    EXPECT_EQ(events[0].address, "127.0.0.1:2302");
    EXPECT_TRUE(events[0].joined);

    EXPECT_TRUE(tracker.Update("127.0.0.1:2302", std::vector<String>{"Bob", "Carl"}).empty());
    EXPECT_TRUE(tracker.Update("127.0.0.1:2302", std::vector<String>{"Bob", "Bob"}).empty());

    events = tracker.Update("127.0.0.1:2302", std::vector<String>{"Joanna"});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "Bob");
    EXPECT_FALSE(events[0].joined);
    EXPECT_EQ(events[1].name, "Joanna");
    EXPECT_TRUE(events[1].joined);
    EXPECT_TRUE(tracker.Update("127.0.0.1:2302", std::vector<String>{"Joanna"}).empty());
    EXPECT_EQ(tracker.FriendsOn("127.0.0.1:2302"), (std::vector<String>{"Joanna"}));
}

TEST(FriendTrackerTest, FollowsAFriendFromServerToServer) {
    CFriendTracker tracker({"Bob"});
    tracker.Update("127.0.0.1:2302", std::vector<String>{"Bob"});
    tracker.Update("127.0.0.2:2302", std::vector<String>{"Al"});
    auto left = tracker.Update("127.0.0.1:2302", std::vector<String>{});
    auto joined = tracker.Update("127.0.0.2:2302", std::vector<String>{"Al", "Bob"});
    ASSERT_EQ(left.size(), 1u);
    EXPECT_FALSE(left[0].joined);
    EXPECT_EQ(left[0].address, "127.0.0.1:2302");
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_TRUE(joined[0].joined);
    EXPECT_EQ(joined[0].address, "127.0.0.2:2302");
    EXPECT_TRUE(tracker.FriendsOn("127.0.0.1:2302").empty());
    EXPECT_EQ(tracker.FriendsOn("127.0.0.2:2302"), (std::vector<String>{"Bob"}));
    EXPECT_TRUE(tracker.FriendsOn("127.0.0.9:2302").empty());
}

TEST(FriendTrackerTest, ANewFriendsListAnnouncesNobodyAlreadySeen) {
    CFriendTracker tracker;
    EXPECT_TRUE(tracker.Update("a", std::vector<String>{"Bob", "Eve"}).empty());
    tracker.SetFriends({"eve"});
    EXPECT_EQ(tracker.FriendsOn("a"), (std::vector<String>{"Eve"}));
    EXPECT_TRUE(tracker.Update("a", std::vector<String>{"Bob", "Eve"}).empty());
    auto events = tracker.Update("a", std::vector<String>{"Bob"});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].joined);
    tracker.SetFriends({});
    EXPECT_TRUE(tracker.Update("a", std::vector<String>{"Bob", "Eve"}).empty());
}

TEST(FriendTrackerTest, TakesTheStatusPlayerList) {
    CFriendTracker tracker({"b*"});
    HandleArray<PlayerInfo> players;
    players.push_back(std::make_shared<PlayerInfo>(PlayerInfo{"Bea", "10", "2"}));
    players.push_back(nullptr);
    players.push_back(std::make_shared<PlayerInfo>(PlayerInfo{"Al", "0", "0"}));
    const auto events = tracker.Update("a", players);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "Bea");
}

TEST(FriendTrackerTest, ForgettingAServerTellsNothing) {
    CFriendTracker tracker({"Bob"});
    tracker.Update("a", std::vector<String>{"Bob"});
    tracker.Forget("a");
    EXPECT_TRUE(tracker.FriendsOn("a").empty());
    // Seen again later, the friend is news again.
    EXPECT_EQ(tracker.Update("a", std::vector<String>{"Bob"}).size(), 1u);
}
