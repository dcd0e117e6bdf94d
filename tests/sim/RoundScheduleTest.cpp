// Players over time: named joins and leaves at their second, and a full server that frees a
// slot, whatever the seed draws.
#include "tools/sim/RoundModel.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillory::sim;

namespace {

bool Has(const CRoundModel& round, const std::string& name) {
    const auto& players = round.Players();
    return std::any_of(players.begin(), players.end(),
                       [&](const SimPlayer& p) { return p.name == name; });
}

} // namespace

TEST(RoundSchedule, NamedPlayersJoinAndLeaveOnTheirSecond) {
    PlayerSchedule schedule;
    schedule.changes = {{"Bob", 10, true}, {"Eve", 0, true}, {"Bob", 40, false}};
    // Seeds and drift of every kind: the named players come and go all the same.
    for (uint32_t seed : {1u, 2u, 3u, 77u}) {
        CRoundModel round(RoundSettings{seed, 30, 2, 8, 12}, schedule);
        EXPECT_TRUE(Has(round, "Eve")) << seed;
        round.AdvanceTo(9);
        EXPECT_FALSE(Has(round, "Bob")) << seed;
        round.AdvanceTo(10);
        EXPECT_TRUE(Has(round, "Bob")) << seed;
        for (uint64_t t = 11; t < 40; ++t) {
            round.AdvanceTo(t);
            ASSERT_TRUE(Has(round, "Bob")) << seed << " at " << t; // never leaves by chance
        }
        round.AdvanceTo(40);
        EXPECT_FALSE(Has(round, "Bob")) << seed;
        round.AdvanceTo(400);
        EXPECT_TRUE(Has(round, "Eve")) << seed;
        EXPECT_LE(round.Players().size(), 12u);
    }
}

TEST(RoundSchedule, AFullServerFreesOneSlotAndKeepsIt) {
    PlayerSchedule schedule;
    schedule.freeSlotAfter = 30;
    CRoundModel round(RoundSettings{5, 20, 2, 1, 6}, schedule);
    for (uint64_t t = 0; t < 30; ++t) {
        round.AdvanceTo(t);
        ASSERT_EQ(round.Players().size(), 6u) << "at " << t; // full, whatever --players says
    }
    round.AdvanceTo(30);
    EXPECT_EQ(round.Players().size(), 5u);
    round.AdvanceTo(1000);
    EXPECT_EQ(round.Players().size(), 5u);
}

TEST(RoundSchedule, AJoinIsRefusedWhenFullAndAFriendFillsTheFreedSlot) {
    PlayerSchedule schedule;
    schedule.freeSlotAfter = 20;
    schedule.changes = {{"Early", 5, true}, {"Late", 25, true}, {"Late", 25, true}};
    CRoundModel round(RoundSettings{1, 60, 5, 4, 4}, schedule);
    round.AdvanceTo(5);
    EXPECT_FALSE(Has(round, "Early"));
    round.AdvanceTo(20);
    EXPECT_EQ(round.Players().size(), 3u);
    round.AdvanceTo(25);
    EXPECT_TRUE(Has(round, "Late"));
    EXPECT_EQ(round.Players().size(), 4u); // once, though asked twice
}

TEST(RoundSchedule, ALeaveOfSomeoneAbsentChangesNothing) {
    PlayerSchedule schedule;
    schedule.changes = {{"Ghost", 3, false}};
    CRoundModel with(RoundSettings{9, 60, 5, 4, 16}, schedule);
    CRoundModel without(RoundSettings{9, 60, 5, 4, 16});
    with.AdvanceTo(100);
    without.AdvanceTo(100);
    ASSERT_EQ(with.Players().size(), without.Players().size());
    for (size_t i = 0; i < with.Players().size(); ++i)
        EXPECT_EQ(with.Players()[i].name, without.Players()[i].name);
}
