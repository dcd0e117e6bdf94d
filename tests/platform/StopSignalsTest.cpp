#include "platform/StopSignals.h"
#include "platform/WaitableEvent.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace quillory {
namespace {

using namespace std::chrono_literals;

TEST(StopSignals, WaitEndsWhenTheWorkEnds) {
    CStopSignals stop;
    CWaitableEvent done(false, true);
    std::thread worker([&] {
        std::this_thread::sleep_for(50ms);
        done.Set();
    });
    // No time limit: only the event can end this wait.
    EXPECT_FALSE(stop.Wait(WAIT_FOREVER, done));
    worker.join();
    EXPECT_TRUE(done.Wait(0));
}

TEST(StopSignals, AStopRequestEndsTheWaitWithTheEventUnset) {
    CStopSignals stop;
    CWaitableEvent done(false, true);
    ::raise(SIGINT); // held back, so it waits for the wait instead of ending the test
    EXPECT_TRUE(stop.Wait(WAIT_FOREVER, done));
    EXPECT_FALSE(stop.Wait(0, done)); // taken once
    ::raise(SIGTERM);
    EXPECT_TRUE(stop.Wait(WAIT_FOREVER));
}

} // namespace
} // namespace quillory
