// The player history: samples in order, merged when close, trimmed to a day, bounded in
// servers, and round marks that survive merging.
#include "watch/core/PlayerHistory.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillory;

namespace {

constexpr int64_t T0 = 1'765'440'000; // any time will do; one in 2025
constexpr int64_t DAY = 24 * 3600;

HistorySample Sample(int64_t at, int players, int maxPlayers = 16, bool round = false) {
    return HistorySample{at, players, maxPlayers, round};
}

std::vector<int64_t> Times(const std::vector<HistorySample>& samples) {
    std::vector<int64_t> times;
    for (const auto& s : samples)
        times.push_back(s.unixSeconds - T0);
    return times;
}

} // namespace

TEST(PlayerHistoryTest, KeepsSamplesPerServerOldestFirst) {
    CPlayerHistory history;
    history.Add("127.0.0.1:2302", Sample(T0, 3));
    history.Add("127.0.0.2:2302", Sample(T0, 9, 32));
    history.Add("127.0.0.1:2302", Sample(T0 + 60, 5));
    const auto first = history.Samples("127.0.0.1:2302");
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].players, 3);
    EXPECT_EQ(first[1].players, 5);
    EXPECT_EQ(first[1].unixSeconds, T0 + 60);
    const auto second = history.Samples("127.0.0.2:2302");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].maxPlayers, 32);
    EXPECT_TRUE(history.Samples("127.0.0.3:2302").empty());
    EXPECT_EQ(history.Addresses(), (std::vector<String>{"127.0.0.1:2302", "127.0.0.2:2302"}));
}

TEST(PlayerHistoryTest, CloseSamplesMergeAndKeepTheRoundMark) {
    CPlayerHistory history;
    history.Add("a", Sample(T0, 1));
    history.Add("a", Sample(T0 + 5, 2, 16, true));
    history.Add("a", Sample(T0 + 10, 4)); // the mark of the merged sample stays
    history.Add("a", Sample(T0 + CPlayerHistory::SAMPLE_SPACING_SECONDS, 6));
    const auto samples = history.Samples("a");
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].unixSeconds, T0);
    EXPECT_EQ(samples[0].players, 4); // the latest count of the merged ones
    EXPECT_TRUE(samples[0].roundChanged);
    EXPECT_EQ(samples[1].players, 6);
    EXPECT_FALSE(samples[1].roundChanged);
}

TEST(PlayerHistoryTest, DropsWhatIsOlderThanADay) {
    CPlayerHistory history;
    history.Add("a", Sample(T0, 1));
    history.Add("a", Sample(T0 + 3600, 2, 16, true));
    history.Add("a", Sample(T0 + DAY, 3));
    EXPECT_EQ(Times(history.Samples("a")), (std::vector<int64_t>{0, 3600, DAY}));
    history.Add("a", Sample(T0 + DAY + 1, 3));
    EXPECT_EQ(Times(history.Samples("a")), (std::vector<int64_t>{3600, DAY}));
    EXPECT_TRUE(history.Samples("a").front().roundChanged);
}

TEST(PlayerHistoryTest, TrimDropsOldSamplesAndEmptiedServers) {
    CPlayerHistory history;
    history.Add("old", Sample(T0, 1));
    history.Add("new", Sample(T0, 1));
    history.Add("new", Sample(T0 + 2 * 3600, 2));
    history.Trim(T0 + DAY + 3600);
    EXPECT_TRUE(history.Samples("old").empty());
    EXPECT_EQ(Times(history.Samples("new")), (std::vector<int64_t>{2 * 3600}));
    EXPECT_EQ(history.Addresses(), (std::vector<String>{"new"}));
}

TEST(PlayerHistoryTest, AClockPutBackDropsTheSamplesAfterIt) {
    CPlayerHistory history;
    for (int64_t t = 0; t <= 600; t += 60)
        history.Add("a", Sample(T0 + t, int(t / 60)));
    history.Add("a", Sample(T0 + 150, 42));
    EXPECT_EQ(Times(history.Samples("a")), (std::vector<int64_t>{0, 60, 120, 150}));
    EXPECT_EQ(history.Samples("a").back().players, 42);
}

TEST(PlayerHistoryTest, NegativeCountsAreStoredAsZero) {
    CPlayerHistory history;
    history.Add("a", Sample(T0, -4, -1));
    ASSERT_EQ(history.Samples("a").size(), 1u);
    EXPECT_EQ(history.Samples("a")[0].players, 0);
    EXPECT_EQ(history.Samples("a")[0].maxPlayers, 0);
}

// A day of samples every 5 s keeps one sample per spacing, never more than MAX_SAMPLES.
TEST(PlayerHistoryTest, AFastRefreshStaysWithinTheBound) {
    CPlayerHistory history;
    for (int64_t t = 0; t <= 2 * DAY; t += 5)
        history.Add("a", Sample(T0 + t, int(t % 17)));
    const auto samples = history.Samples("a");
    EXPECT_LE(samples.size(), CPlayerHistory::MAX_SAMPLES);
    EXPECT_GE(samples.size(), CPlayerHistory::MAX_SAMPLES - 1);
    EXPECT_GE(samples.front().unixSeconds, T0 + DAY);
    for (size_t i = 1; i < samples.size(); ++i)
        ASSERT_GE(samples[i].unixSeconds - samples[i - 1].unixSeconds,
                  CPlayerHistory::SAMPLE_SPACING_SECONDS);
}

TEST(PlayerHistoryTest, TheServerHeardFromLongestAgoMakesRoom) {
    CPlayerHistory history;
    for (size_t i = 0; i < CPlayerHistory::MAX_SERVERS; ++i)
        history.Add("s" + std::to_string(i), Sample(T0 + 100 + int64_t(i), 1));
    history.Add("s0", Sample(T0 + 1000, 2)); // s0 is now the freshest; s1 the stalest
    history.Add("newcomer", Sample(T0 + 1001, 3));
    EXPECT_EQ(history.ServerCount(), CPlayerHistory::MAX_SERVERS);
    EXPECT_TRUE(history.Samples("s1").empty());
    EXPECT_EQ(history.Samples("s0").size(), 2u);
    EXPECT_EQ(history.Samples("newcomer").size(), 1u);
}

TEST(PlayerHistoryTest, ForgetDropsOneServer) {
    CPlayerHistory history;
    history.Add("a", Sample(T0, 1));
    history.Add("b", Sample(T0, 1));
    history.Forget("a");
    EXPECT_EQ(history.Addresses(), (std::vector<String>{"b"}));
}
