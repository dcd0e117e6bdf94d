#include "watch/core/WatchRules.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillory;

TEST(WatchRules, StatusTexts) {
    const std::vector<std::pair<int32_t, String>> cases = {
        {0, "Idle"},      {2, "Creating"}, {6, "Waiting"},   {9, "Debriefing"}, {12, "Setting up"},
        {13, "Briefing"}, {14, "Playing"}, {7, "status==7"}, {-3, "status==-3"}};
    for (const auto& [state, text] : cases)
        EXPECT_EQ(StatusText(state), text);
}

// A server's states one after another, with the sound each should play (0: none).
struct Step {
    int32_t state;
    bool notifyOn;
    int sound;
};

void RunHistory(const std::vector<Step>& steps) {
    int32_t previous = -1; // as after a new selection
    for (size_t i = 0; i < steps.size(); ++i) {
        Notification n = DecideNotification(steps[i].state, previous, steps[i].notifyOn);
        EXPECT_EQ(n.sound, steps[i].sound) << "step " << i << " state " << steps[i].state;
        EXPECT_EQ(n.notify, steps[i].sound != 0) << "step " << i;
        previous = n.previousState;
    }
}

TEST(WatchRules, NotificationHistories) {
    // Setting up then briefing: one sound.
    RunHistory({{12, true, SND_SETTING_UP}, {13, true, 0}, {14, true, SND_PLAYING}});
    // First reply playing notifies; idle first does not, the next named state does.
    RunHistory({{14, true, SND_PLAYING}, {14, true, 0}});
    RunHistory({{0, true, 0}, {6, true, SND_WAITING}});
    // An unnamed state says nothing; the next one compares with the state before it.
    RunHistory({{14, true, SND_PLAYING}, {7, true, 0}, {14, true, 0}, {9, true, SND_DEBRIEFING}});
    // Playing, idle, playing: the second is no change. Waiting, idle, creating: it is.
    RunHistory({{14, true, SND_PLAYING}, {0, true, 0}, {14, true, 0}});
    RunHistory({{6, true, SND_WAITING}, {0, true, 0}, {2, true, SND_CREATING}});
    // Notifications off: the change is silent and is not replayed when they come back on.
    RunHistory({{14, true, SND_PLAYING}, {9, false, 0}, {9, true, 0}, {14, true, SND_PLAYING}});
    // Briefing not straight after setting up plays the setting-up sound.
    RunHistory({{6, true, SND_WAITING}, {13, true, SND_SETTING_UP}});
}

TEST(WatchRules, GameProgress) {
    for (int32_t s : {12, 13, 14}) {
        EXPECT_TRUE(IsGameInProgress(s));
        EXPECT_FALSE(IsGameOver(s));
    }
    for (int32_t s : {2, 6, 9, 7}) {
        EXPECT_FALSE(IsGameInProgress(s));
        EXPECT_TRUE(IsGameOver(s));
    }
    EXPECT_FALSE(IsGameOver(0));
}

TEST(WatchRules, TimeLeftShowsFifteenOnlyAfterSixteen) {
    String last;
    EXPECT_EQ(TimeLeftText("15", last), "Unknown");
    EXPECT_EQ(TimeLeftText("17", last), "17");
    EXPECT_EQ(TimeLeftText("16", last), "16");
    EXPECT_EQ(TimeLeftText("15", last), "15");
    EXPECT_EQ(TimeLeftText("15", last), "15");
    EXPECT_EQ(TimeLeftText("", last), "");
    EXPECT_EQ(last, "16");
}

TEST(WatchRules, FieldTexts) {
    EXPECT_EQ(TypeText("ironval"), "Ironvale");
    EXPECT_EQ(TypeText("ironvalu"), "Ironvale Uprising");
    EXPECT_EQ(TypeText("other"), "other");
    EXPECT_EQ(LoggedOnText(3, "30"), "3/30");
    EXPECT_EQ(LoggedOnText(3, ""), "3");
    EXPECT_EQ(ParamText("a", "b"), "a, b");
    EXPECT_EQ(ParamText("", "b"), "");
    EXPECT_EQ(PlatformText("win"), "Windows");
    EXPECT_EQ(PlatformText("linux"), "Linux");
    EXPECT_EQ(PlatformText("bsd"), "bsd");
    EXPECT_EQ(LockedText(true), "YES");
    EXPECT_EQ(LockedText(false), "No");
    EXPECT_EQ(ImplementationText(1), "DirectPlay");
    EXPECT_EQ(ImplementationText(2), "Sockets");
    EXPECT_EQ(ImplementationText(0), "");
}

TEST(WatchRules, GantryTexts) {
    ServerStatus s;
    EXPECT_EQ(GantryStateText(s, true), "Querying");
    EXPECT_EQ(GantryStateText(s, false), "n/a");
    s.gantryState = GANTRY_ANSWERED;
    s.gantryChunkTotal = 7;
    s.gantryChunksReceived = 3;
    EXPECT_EQ(GantryStateText(s, true), "42%");
    s.gantryChunksReceived = 7;
    EXPECT_EQ(GantryStateText(s, true), "Yes");
    const std::vector<std::pair<int32_t, String>> finals = {{GANTRY_NONE, "No"},
                                                            {GANTRY_TIMEOUT, "Timeout"},
                                                            {GANTRY_PASSWORD_REFUSED, "Psw fail"},
                                                            {9, ""}};
    for (const auto& [state, text] : finals) {
        s.gantryState = state;
        EXPECT_EQ(GantryStateText(s, true), text);
    }
}

TEST(WatchRules, GantryOutcomesAreTheSettledTexts) {
    for (const char* text : {"Yes", "No", "Timeout", "Psw fail", "n/a"})
        EXPECT_TRUE(IsGantryOutcome(text)) << text;
    for (const char* text : {"Querying", "40%", ""})
        EXPECT_FALSE(IsGantryOutcome(text)) << text;
}
