// The simulated rounds: the same seed tells the same story, phases come in the game's order.

#include "tools/sim/RoundModel.h"

#include <gtest/gtest.h>

#include <set>

using namespace quillory::sim;

namespace {

std::vector<std::string> Names(const CRoundModel& round) {
    std::vector<std::string> names;
    for (const SimPlayer& p : round.Players())
        names.push_back(p.name + ":" + std::to_string(p.score) + ":" + std::to_string(p.deaths));
    return names;
}

} // namespace

TEST(RoundModel, SameSeedSameRound) {
    const RoundSettings settings{42, 30, 5, 6, 12};
    CRoundModel a(settings), b(settings), other(RoundSettings{43, 30, 5, 6, 12});
    a.AdvanceTo(500);
    b.AdvanceTo(200);
    b.AdvanceTo(500);
    other.AdvanceTo(500);
    EXPECT_EQ(Names(a), Names(b));
    EXPECT_EQ(a.State(), b.State());
    EXPECT_NE(Names(a), Names(other));
}

TEST(RoundModel, PhasesTimeLeftAndPlayerBounds) {
    CRoundModel round(RoundSettings{3, 150, 4, 4, 6});
    struct Step {
        uint64_t at;
        int32_t state;
        const char* timeLeft;
    } steps[] = {
        {0, GS_WAITING, "15"},   {3, GS_WAITING, "15"},     {4, GS_SETTING_UP, "3"},
        {8, GS_BRIEFING, "3"},   {12, GS_PLAYING, "3"},     {41, GS_PLAYING, "3"},
        {42, GS_PLAYING, "2"},   {161, GS_PLAYING, "1"},    {162, GS_DEBRIEFING, "15"},
        {166, GS_WAITING, "15"}, {170, GS_SETTING_UP, "3"},
    };
    for (const Step& s : steps) {
        round.AdvanceTo(s.at);
        EXPECT_EQ(round.State(), s.state) << "at " << s.at;
        EXPECT_EQ(round.TimeLeft(), s.timeLeft) << "at " << s.at;
        EXPECT_LE(round.Players().size(), 6u);
    }
    // A new round starts every player from nothing.
    for (const SimPlayer& p : round.Players())
        EXPECT_EQ(p.score + p.deaths, 0) << p.name;
}

TEST(RoundModel, PlayersJoinScoreAndLeave) {
    CRoundModel round(RoundSettings{9, 600, 5, 4, 16});
    std::set<std::string> everyone;
    size_t fewest = 99, most = 0;
    int scored = 0;
    for (uint64_t t = 0; t < 600; ++t) {
        round.AdvanceTo(t);
        for (const SimPlayer& p : round.Players()) {
            everyone.insert(p.name);
            scored = std::max(scored, p.score);
        }
        fewest = std::min(fewest, round.Players().size());
        most = std::max(most, round.Players().size());
    }
    EXPECT_GT(everyone.size(), 4u); // someone joined
    EXPECT_LT(fewest, most);        // and the count moved
    EXPECT_GT(scored, 0);
}
