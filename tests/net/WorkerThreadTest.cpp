#include "platform/WorkerThread.h"
#include "net/UdpSocketThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace quillory;
using namespace std::chrono_literals;

namespace {

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Records what the loop hands it; message 100 stops it.
class RecordingWorker final : public CUdpSocketThread {
public:
    ~RecordingWorker() override {
        Post(100);
        Wait(WAIT_FOREVER);
    }
    std::vector<uint32_t> Messages() {
        std::lock_guard g(lock_);
        return messages_;
    }
    std::atomic<int> idles{0};
    std::atomic<int> reads{0};
    std::atomic<bool> started{false};

protected:
    void OnStart() override { started = true; }
    void OnIdle() override { ++idles; }
    void OnRead(int) override {
        char buffer[64];
        uint32_t address;
        uint16_t port;
        if (ReceiveFrom(buffer, sizeof buffer, address, port) >= 0)
            ++reads;
    }
    void OnMessage(uint32_t code, uint32_t first, uint32_t second) override {
        if (code == 100) {
            SetStopFlag();
            return;
        }
        std::lock_guard g(lock_);
        messages_.insert(messages_.end(), {code, first, second});
    }
    uint32_t OnStop() override { return 7; }

private:
    std::mutex lock_;
    std::vector<uint32_t> messages_;
};

// A plain worker that blocks on its queue, as the download worker does.
class QueueWorker final : public CWorkerThread {
public:
    ~QueueWorker() override { CloseThreadHandle(); }
    std::atomic<uint32_t> lastFirst{0};

protected:
    uint32_t Run() override {
        for (;;) {
            uint32_t code, first = 0;
            Get(code, &first);
            if (code == 100)
                return 0;
            lastFirst = first;
        }
    }
};

} // namespace

TEST(WorkerThread, TryGetHandsOutMessagesOldestFirst) {
    QueueWorker w;
    uint32_t code = 99, first = 99, second = 99;
    EXPECT_FALSE(w.TryGet(code, &first, &second));
    w.Post(1, 10, 11);
    w.Post(2, 20, 21);
    ASSERT_TRUE(w.TryGet(code));
    EXPECT_EQ(code, 1u);
    ASSERT_TRUE(w.TryGet(code, &first, &second));
    EXPECT_EQ(code, 2u);
    EXPECT_EQ(first, 20u);
    EXPECT_EQ(second, 21u);
    EXPECT_FALSE(w.TryGet(code));
}

TEST(WorkerThread, GetBlocksUntilAMessageIsPostedAndStartRefusesASecondThread) {
    QueueWorker w;
    ASSERT_TRUE(w.Start());
    EXPECT_FALSE(w.Start());
    EXPECT_EQ(w.Wait(50), WAIT_TIMEOUT);
    w.Post(1, 42);
    EXPECT_TRUE(WaitFor([&] { return w.lastFirst == 42; }));
    w.Post(100);
    EXPECT_EQ(w.Wait(10000), WAIT_OBJECT_0);
    w.CloseThreadHandle();
    EXPECT_TRUE(w.Start()) << "a worker can run again once its thread is closed";
    w.Post(100);
    EXPECT_EQ(w.Wait(10000), WAIT_OBJECT_0);
}

TEST(UdpSocketThread, MessagesPostedTogetherAreHandledInOrder) {
    RecordingWorker w;
    ASSERT_TRUE(w.Create(0, 0, LoopbackAddress()));
    ASSERT_TRUE(w.Start());
    for (uint32_t i = 1; i <= 3; ++i)
        w.Post(i, i * 10, i * 100);
    ASSERT_TRUE(WaitFor([&] { return w.Messages().size() == 9; }));
    EXPECT_EQ(w.Messages(), (std::vector<uint32_t>{1, 10, 100, 2, 20, 200, 3, 30, 300}));
}

TEST(UdpSocketThread, QuietWorkerIdlesAtTheIdlePace) {
    RecordingWorker w;
    ASSERT_TRUE(w.Create(0, 0, LoopbackAddress()));
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitFor([&] { return w.idles >= 5; }));
    // Five idle steps cannot come sooner than five idle periods; load only makes it slower.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 450ms);
}

TEST(UdpSocketThread, DatagramsReachOnReadAndSteadyTrafficDoesNotStarveIdle) {
    RecordingWorker w;
    ASSERT_TRUE(w.Create(0, 0, LoopbackAddress()));
    ASSERT_TRUE(w.Start());
    CUdpSocket sender;
    ASSERT_TRUE(sender.Open(0, LoopbackAddress()));
    ASSERT_TRUE(WaitFor([&] { return w.started.load(); }));
    int idlesBefore = w.idles;
    for (int i = 0; i < 60; ++i) {
        sender.SendTo(LoopbackAddress(), w.LocalPort(), "x", 1);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(WaitFor([&] { return w.reads == 60; }));
    EXPECT_GE(w.idles - idlesBefore, 3);
}

TEST(UdpSocketThread, LoopRunsWithoutASocketAndEndsOnTheStopFlag) {
    RecordingWorker w;
    ASSERT_FALSE(w.Create(1, 0, 0)) << "only datagram sockets are made";
    ASSERT_TRUE(w.Start());
    w.Post(5, 6, 7);
    ASSERT_TRUE(WaitFor([&] { return w.Messages().size() == 3; }));
    EXPECT_EQ(w.SendTo(LoopbackAddress(), 9, "x", 1), -1);
    w.Post(100);
    EXPECT_EQ(w.Wait(10000), WAIT_OBJECT_0);
}
