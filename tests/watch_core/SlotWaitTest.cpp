// The waiting join: it fires once when the waited server has a free slot, and never after a
// manual launch, a cancel or a turn to another server.
#include "watch/core/SlotWait.h"

#include <gtest/gtest.h>

using namespace quillory;

namespace {
const String SERVER = "127.0.0.1:2302";
const String OTHER = "127.0.0.2:2302";
} // namespace

TEST(SlotWaitTest, FiresOnceWhenASlotFrees) {
    CSlotWait wait;
    EXPECT_FALSE(wait.Waiting());
    wait.Start(SERVER);
    EXPECT_TRUE(wait.Waiting());
    EXPECT_EQ(wait.Address(), SERVER);
    EXPECT_FALSE(wait.OnStatus(SERVER, 16, 16));
    EXPECT_FALSE(wait.OnStatus(SERVER, 17, 16)); // more than full is still full
    EXPECT_FALSE(wait.OnStatus(OTHER, 3, 16));   // room elsewhere does not count
    EXPECT_TRUE(wait.Waiting());
    EXPECT_TRUE(wait.OnStatus(SERVER, 15, 16));
    EXPECT_FALSE(wait.Waiting());
    EXPECT_TRUE(wait.Address().empty());
    EXPECT_FALSE(wait.OnStatus(SERVER, 15, 16));
    EXPECT_FALSE(wait.OnStatus(SERVER, 0, 16));
}

TEST(SlotWaitTest, AnUnknownMaximumIsNoFreeSlot) {
    CSlotWait wait;
    wait.Start(SERVER);
    EXPECT_FALSE(wait.OnStatus(SERVER, 0, 0));
    EXPECT_FALSE(wait.OnStatus(SERVER, -1, -1));
    EXPECT_TRUE(wait.Waiting());
    EXPECT_TRUE(wait.OnStatus(SERVER, 0, 8));
}

TEST(SlotWaitTest, NeverFiresAfterTheWaitEnded) {
    struct Case {
        const char* name;
        void (*end)(CSlotWait&);
    };
    const Case cases[] = {
        {"manual launch", [](CSlotWait& w) { w.OnManualLaunch(); }},
        {"cancel", [](CSlotWait& w) { w.Cancel(); }},
        {"other server", [](CSlotWait& w) { w.OnServerChanged(OTHER); }},
    };
    for (const Case& c : cases) {
        CSlotWait wait;
        wait.Start(SERVER);
        c.end(wait);
        EXPECT_FALSE(wait.Waiting()) << c.name;
        EXPECT_FALSE(wait.OnStatus(SERVER, 1, 16)) << c.name;
        EXPECT_FALSE(wait.OnStatus(OTHER, 1, 16)) << c.name;
    }
}

TEST(SlotWaitTest, PickingTheSameServerAgainKeepsWaiting) {
    CSlotWait wait;
    wait.Start("Localhost:2302");
    wait.OnServerChanged("localhost:2302");
    EXPECT_TRUE(wait.Waiting());
    EXPECT_TRUE(wait.OnStatus("LOCALHOST:2302", 3, 4));
}

TEST(SlotWaitTest, ANewWaitReplacesTheOld) {
    CSlotWait wait;
    wait.Start(SERVER);
    wait.Start(OTHER);
    EXPECT_EQ(wait.Address(), OTHER);
    EXPECT_FALSE(wait.OnStatus(SERVER, 1, 16));
    EXPECT_TRUE(wait.OnStatus(OTHER, 1, 16));
}
