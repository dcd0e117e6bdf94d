// The event keeps its signal in memory until something needs its descriptor: these check that
// the hand-over to the descriptor loses and invents nothing, on one thread and across threads.

#include "platform/WaitableEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <thread>

namespace quillory {
namespace {

constexpr int kRounds = 300;

// Whether a poll on the event's descriptor finds it set now, as a poll set beside sockets does.
bool PollSaysSet(const CWaitableEvent& e) {
    pollfd p{e.NativeHandle(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

struct LazyCase {
    const char* name;
    bool manualReset;
};

class LazyWaitableEvent : public ::testing::TestWithParam<LazyCase> {};

TEST_P(LazyWaitableEvent, ASetBeforeAnyWaitReachesThePollAndTheWait) {
    CWaitableEvent e(false, GetParam().manualReset);
    e.Set();
    EXPECT_TRUE(e.IsValid());
    EXPECT_TRUE(PollSaysSet(e)); // the descriptor is made now, already set
    EXPECT_TRUE(e.Wait(0));
    // Only a manual-reset event is still set for the poll and the next wait.
    EXPECT_EQ(PollSaysSet(e), GetParam().manualReset);
    EXPECT_EQ(e.Wait(0), GetParam().manualReset);
}

TEST_P(LazyWaitableEvent, AWaitBeforeTheDescriptorLeavesTheRightStateForIt) {
    CWaitableEvent e(false, GetParam().manualReset);
    e.Set();
    e.Set();
    EXPECT_TRUE(e.Wait(0)); // seen in memory: two signals are still one
    EXPECT_EQ(PollSaysSet(e), GetParam().manualReset);
    EXPECT_EQ(e.Wait(0), GetParam().manualReset);
    e.Reset();
    EXPECT_FALSE(PollSaysSet(e));
    EXPECT_FALSE(e.Wait(10));
}

TEST_P(LazyWaitableEvent, AResetBeforeTheDescriptorClearsTheInitialSignal) {
    CWaitableEvent e(true, GetParam().manualReset);
    e.Reset();
    EXPECT_FALSE(PollSaysSet(e));
    EXPECT_FALSE(e.Wait(10));
    e.Set(); // and the descriptor, made by now, still works
    EXPECT_TRUE(PollSaysSet(e));
    EXPECT_TRUE(e.Wait(0));
}

TEST_P(LazyWaitableEvent, AnInitiallySetEventIsSetForThePoll) {
    CWaitableEvent e(true, GetParam().manualReset);
    EXPECT_TRUE(PollSaysSet(e));
    EXPECT_TRUE(e.Wait(0));
    EXPECT_EQ(e.Wait(0), GetParam().manualReset);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LazyWaitableEvent,
                         ::testing::Values(LazyCase{"AutoReset", false},
                                           LazyCase{"ManualReset", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WaitableEvent, ConsumeTakesAnAutoResetSignalOnceBeforeAndAfterTheDescriptor) {
    CWaitableEvent e(false, false);
    e.Set();
    EXPECT_TRUE(e.Consume());
    EXPECT_FALSE(e.Consume());
    (void)e.NativeHandle();
    e.Set();
    EXPECT_TRUE(e.Consume());
    EXPECT_FALSE(e.Consume());
}

TEST(WaitableEvent, TheDescriptorIsMadeOnceAndKept) {
    CWaitableEvent e(false, false);
    const int fd = e.NativeHandle();
    EXPECT_GE(fd, 0);
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_EQ(e.NativeHandle(), fd);
}

// Starts both sides as close together as two threads can be, so the set and the making of the
// descriptor fall in every order over the rounds.
template <typename Setter, typename Waiter> void Race(Setter setter, Waiter waiter) {
    std::atomic<int> arrived{0};
    auto meet = [&arrived] {
        arrived.fetch_add(1);
        while (arrived.load() < 2)
            std::this_thread::yield();
    };
    std::thread other([&] {
        meet();
        setter();
    });
    meet();
    waiter();
    other.join();
}

TEST(WaitableEvent, ASetRacingWithAWaiterThatMakesTheDescriptorIsNeverLost) {
    for (int round = 0; round < kRounds; ++round) {
        CWaitableEvent e(false, false);
        bool woke = false;
        Race([&] { e.Set(); }, [&] { woke = e.Wait(5000); });
        ASSERT_TRUE(woke) << "round " << round;
        ASSERT_FALSE(e.Wait(0)) << "round " << round; // one set, one wake
    }
}

TEST(WaitableEvent, ASetRacingWithAPollSetIsNeverLost) {
    for (int round = 0; round < kRounds; ++round) {
        CWaitableEvent e(false, false);
        int ready = 0;
        Race([&] { e.Set(); },
             [&] {
                 pollfd p{e.NativeHandle(), POLLIN, 0};
                 ready = ::poll(&p, 1, 5000);
             });
        ASSERT_EQ(ready, 1) << "round " << round;
        ASSERT_TRUE(e.Consume()) << "round " << round;
        ASSERT_FALSE(e.Consume()) << "round " << round;
    }
}

TEST(WaitableEvent, TwoThreadsAskingForTheDescriptorAtOnceGetTheSameOne) {
    for (int round = 0; round < kRounds; ++round) {
        CWaitableEvent e(true, false);
        int mine = -1;
        int theirs = -1;
        Race([&] { theirs = e.NativeHandle(); }, [&] { mine = e.NativeHandle(); });
        ASSERT_GE(mine, 0);
        ASSERT_EQ(mine, theirs) << "round " << round;
        ASSERT_TRUE(e.Wait(0)); // the initial signal went to the one descriptor
        ASSERT_FALSE(e.Wait(0));
    }
}

TEST(WaitableEvent, WhatTheSetterWroteIsSeenByTheWaiter) {
    for (int round = 0; round < kRounds; ++round) {
        CWaitableEvent e(false, false);
        int message = 0;
        int seen = 0;
        Race(
            [&] {
                message = round + 1;
                e.Set();
            },
            [&] {
                if (e.Wait(5000))
                    seen = message; // ThreadSanitizer reports a race here if the hand-over fails
            });
        ASSERT_EQ(seen, round + 1);
    }
}

} // namespace
} // namespace quillory
