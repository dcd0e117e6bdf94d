#include "watch/core/WatchView.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillory;

namespace {

ServerStatus Answered(int32_t state, const String& mission = "Keep") {
    ServerStatus s;
    s.implementation = IMPL_SOCKETS;
    s.state = state;
    s.mission = mission;
    s.description = "Vale";
    return s;
}

Handle<PlayerInfo> Player(const String& name, const String& score) {
    auto p = std::make_shared<PlayerInfo>();
    p->name = name;
    p->score = score;
    p->deaths = "0";
    return p;
}

std::vector<String> Names(const CWatchView& view) {
    std::vector<String> names;
    for (const PlayerRow& row : view.Players())
        names.push_back(row.name + "=" + row.score);
    return names;
}

} // namespace

// One snapshot after another: the sound to play (0: none), whether the description and the
// mission boxes are rewritten, and the game-end flags.
TEST(WatchView, SnapshotsToNotificationsAndTexts) {
    struct Step {
        ServerStatus status;
        bool notifyOn;
        int sound;
        bool descriptionChanged;
        bool missionChanged;
        bool gameEndAllowed;
        bool gameOver;
        String statusText;
    };
    ServerStatus silent; // no enumeration reply yet: nothing but the Gantry part
    silent.state = GS_PLAYING;
    const std::vector<Step> steps = {
        {silent, true, 0, false, false, true, false, ""},
        {Answered(GS_SETTING_UP), true, SND_SETTING_UP, true, true, true, false, "Setting up"},
        {Answered(GS_BRIEFING), true, 0, false, false, true, false, "Briefing"},
        {Answered(GS_PLAYING, "Siege"), true, SND_PLAYING, false, true, true, false, "Playing"},
        {Answered(GS_PLAYING, "Siege"), true, 0, false, false, true, false, "Playing"},
        {Answered(GS_DEBRIEFING, "Siege"), false, 0, false, false, false, true, "Debriefing"},
        {Answered(GS_IDLE, "Siege"), true, 0, false, false, false, false, "Idle"},
        {Answered(GS_WAITING, "Siege"), true, SND_WAITING, false, false, false, true, "Waiting"},
        {Answered(7, "Siege"), true, 0, false, false, false, true, "status==7"},
    };
    CWatchView view;
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        const WatchFrame frame = view.Update(step.status, step.notifyOn, false);
        EXPECT_EQ(frame.answered, step.status.implementation != IMPL_NONE) << "step " << i;
        EXPECT_EQ(frame.notification.sound, step.sound) << "step " << i;
        EXPECT_EQ(frame.notification.notify, step.sound != 0) << "step " << i;
        EXPECT_EQ(frame.descriptionChanged, step.descriptionChanged) << "step " << i;
        EXPECT_EQ(frame.missionChanged, step.missionChanged) << "step " << i;
        EXPECT_EQ(frame.gameEndAllowed, step.gameEndAllowed) << "step " << i;
        EXPECT_EQ(frame.gameOver, step.gameOver) << "step " << i;
        EXPECT_EQ(frame.status, step.statusText) << "step " << i;
        EXPECT_EQ(view.Status().state, step.status.state) << "step " << i;
    }
    EXPECT_EQ(view.ShownDescription(), "Vale");
}

TEST(WatchView, FieldTexts) {
    ServerStatus s = Answered(GS_PLAYING);
    s.implementation = IMPL_DIRECTPLAY;
    s.gameType = "ironvalu";
    s.players = 3;
    s.maxPlayers = "8";
    s.param1 = "a";
    s.param2 = "b";
    s.platform = "linux";
    s.version = 196;
    s.requiredVersion = 195;
    s.ping = 42;
    s.port = 2302;
    s.locked = true;
    s.map = "Fen";
    CWatchView view;
    const WatchFrame frame = view.Update(s, true, false);
    EXPECT_EQ(frame.type, String("Ironvale Uprising"));
    EXPECT_EQ(frame.loggedOn, "3/8");
    EXPECT_EQ(frame.param, String("a, b"));
    EXPECT_EQ(frame.platform, String("Linux"));
    EXPECT_EQ(frame.version, "196");
    EXPECT_EQ(frame.required, "195");
    EXPECT_EQ(frame.ping, "42");
    EXPECT_EQ(frame.port, "2302");
    EXPECT_EQ(frame.locked, "YES");
    EXPECT_EQ(frame.implementation, "DirectPlay");
    EXPECT_EQ(frame.map, "Fen");
    EXPECT_EQ(frame.description, "Vale");
    // Empty server texts leave their fields as they were.
    const WatchFrame bare = view.Update(Answered(GS_PLAYING), true, false);
    EXPECT_FALSE(bare.type || bare.param || bare.platform || bare.timeLeft);
    EXPECT_EQ(bare.implementation, "Sockets");
}

// "15" is what a server says when it does not know; only straight after "16" is it a count.
TEST(WatchView, TimeLeftCountsDownOnlyFromSixteen) {
    const std::vector<std::pair<String, String>> steps = {
        {"15", "Unknown"}, {"17", "17"}, {"16", "16"},     {"15", "15"},
        {"15", "15"},      {"14", "14"}, {"15", "Unknown"}};
    CWatchView view;
    for (size_t i = 0; i < steps.size(); ++i) {
        ServerStatus s = Answered(GS_PLAYING);
        s.timeLeft = steps[i].first;
        EXPECT_EQ(view.Update(s, true, false).timeLeft, steps[i].second) << "step " << i;
    }
}

TEST(WatchView, PlayersKeepTheirPlaceAndChangesAreReported) {
    CWatchView view;
    ServerStatus s = Answered(GS_PLAYING);
    s.playerList = {Player("ann", "1"), Player("bob", "2")};
    EXPECT_TRUE(view.Update(s, true, false).playersChanged);
    EXPECT_FALSE(view.Update(s, true, false).playersChanged);
    s.playerList = {Player("cid", "5"), Player("bob", "3"), nullptr};
    EXPECT_TRUE(view.Update(s, true, false).playersChanged);
    EXPECT_EQ(Names(view), (std::vector<String>{"bob=3", "cid=5"}));
    // A name listed twice is one row with the later numbers.
    s.playerList = {Player("bob", "4"), Player("cid", "5"), Player("bob", "6")};
    EXPECT_TRUE(view.Update(s, true, false).playersChanged);
    EXPECT_EQ(Names(view), (std::vector<String>{"bob=6", "cid=5"}));
}

TEST(WatchView, GantryTextAndCompleteDescription) {
    CWatchView view;
    ServerStatus s;
    EXPECT_EQ(view.Update(s, true, false).gantry, "n/a");
    EXPECT_EQ(view.Update(s, true, true).gantry, "Querying");
    s.gantryState = GANTRY_ANSWERED;
    s.gantryChunksReceived = 5;
    WatchFrame frame = view.Update(s, true, true);
    EXPECT_EQ(frame.gantry, "50%");
    EXPECT_FALSE(frame.descriptionComplete);
    s.gantryChunksReceived = 10;
    frame = view.Update(s, true, true);
    EXPECT_EQ(frame.gantry, "Yes");
    EXPECT_TRUE(frame.descriptionComplete);
}

TEST(WatchView, ResetForgetsTheServerShownBefore) {
    CWatchView view;
    ServerStatus s = Answered(GS_PLAYING);
    s.timeLeft = "16";
    s.playerList = {Player("ann", "1")};
    view.Update(s, true, false);
    view.Reset();
    EXPECT_EQ(view.ShownDescription(), "");
    EXPECT_TRUE(view.Players().empty());
    EXPECT_EQ(view.Status().implementation, IMPL_NONE);
    // The same state again is news for the new server, and so are its texts.
    s.timeLeft = "15";
    const WatchFrame frame = view.Update(s, true, false);
    EXPECT_EQ(frame.notification.sound, SND_PLAYING);
    EXPECT_TRUE(frame.descriptionChanged);
    EXPECT_TRUE(frame.missionChanged);
    EXPECT_TRUE(frame.playersChanged);
    EXPECT_EQ(frame.timeLeft, String("Unknown"));
}
