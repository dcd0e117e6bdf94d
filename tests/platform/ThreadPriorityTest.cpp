#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

int OwnNice() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

TEST(ThreadPriority, LowersOnlyTheCallingThread) {
    const int before = OwnNice();
    int lowered = 0;
    bool ok = false;
    std::thread([&] {
        ok = quillory::platform::LowerCurrentThreadPriority();
        lowered = OwnNice();
    }).join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(lowered, 19);
    EXPECT_EQ(OwnNice(), before);
}

} // namespace
