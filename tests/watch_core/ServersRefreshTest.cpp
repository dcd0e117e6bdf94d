// The servers table's refresh against a simulator and a silent server on loopback: rows in the
// order given, NO_REPLY for silence, rounds on demand, and no report after Stop.
#include "watch/core/ServersRefresh.h"

#include "tests/support/FakeGameServer.h"
#include "tests/support/SimRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace quillory;
using namespace std::chrono_literals;

namespace {

// The sanitizer builds leave the simulator out; the normal build runs the tests that need it.
#ifdef QUILLORY_SIM_BUILT
constexpr bool kSimulatorBuilt = true;
#else
constexpr bool kSimulatorBuilt = false;
#endif

// Collects the rounds the refresh reports, from its thread.
class Rounds {
public:
    CServersRefresh::Callback Callback() {
        return [this](std::vector<ServerRow> rows) {
            std::lock_guard guard(mutex_);
            rounds_.push_back(std::move(rows));
            arrived_.notify_all();
        };
    }
    // Waits until `count` rounds have come; false when they did not within `timeout`.
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = 15s) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, timeout, [&] { return rounds_.size() >= count; });
    }
    std::vector<ServerRow> Round(size_t i) {
        std::lock_guard guard(mutex_);
        return rounds_.at(i);
    }
    size_t Count() {
        std::lock_guard guard(mutex_);
        return rounds_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::vector<ServerRow>> rounds_;
};

} // namespace

TEST(ServersRefreshTest, ReportsEveryServerInOrderAndSilenceAsNoReply) {
    if (!kSimulatorBuilt)
        GTEST_SKIP() << "quillory-sim is not built here";
    test::CSimRun sim({"--name", "Table test", "--players", "3", "--max-players", "8"});
    ASSERT_TRUE(sim.Listening());
    test::FakeGameServer silent; // bound, so nothing refuses: it only never answers
    ASSERT_TRUE(silent.Open());
    const String silentAddress = "127.0.0.1:" + std::to_string(silent.GamePort());
    Rounds rounds;
    CServersRefresh refresh(rounds.Callback());
    refresh.SetRoundTimeout(1500);
    refresh.SetAddresses({silentAddress, sim.Address()});
    ASSERT_TRUE(refresh.Start());
    ASSERT_TRUE(rounds.WaitFor(1));
    const std::vector<ServerRow> rows = rounds.Round(0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].address, silentAddress);
    EXPECT_EQ(rows[0].result, QueryResult::NO_REPLY);
    EXPECT_EQ(rows[1].address, sim.Address());
    ASSERT_EQ(rows[1].result, QueryResult::REPLIED);
    EXPECT_EQ(rows[1].status.description, "Table test");
    EXPECT_EQ(rows[1].status.players, 3);
    EXPECT_EQ(rows[1].status.maxPlayers, "8");
    EXPECT_GE(rows[1].status.ping, 0);
    // The silent server did hear the probes: it was asked, not skipped.
    EXPECT_TRUE(silent.At(0).Receive(100).has_value());
}

TEST(ServersRefreshTest, RefreshNowStartsARoundWithTheNewAddresses) {
    if (!kSimulatorBuilt)
        GTEST_SKIP() << "quillory-sim is not built here";
    test::CSimRun first({"--name", "First"});
    test::CSimRun second({"--name", "Second"});
    ASSERT_TRUE(first.Listening() && second.Listening());
    Rounds rounds;
    CServersRefresh refresh(rounds.Callback());
    refresh.SetInterval(3600);
    refresh.SetAddresses({first.Address()});
    ASSERT_TRUE(refresh.Start());
    ASSERT_TRUE(rounds.WaitFor(1));
    refresh.SetAddresses({second.Address(), first.Address()});
    refresh.RefreshNow();
    ASSERT_TRUE(rounds.WaitFor(2));
    const auto rows = rounds.Round(1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].status.description, "Second");
    EXPECT_EQ(rows[1].status.description, "First");
}

TEST(ServersRefreshTest, NothingIsReportedAfterStop) {
    test::FakeGameServer silent;
    ASSERT_TRUE(silent.Open());
    Rounds rounds;
    CServersRefresh refresh(rounds.Callback());
    // A round that would wait a minute for its silent server: Stop cancels it, not waits.
    refresh.SetRoundTimeout(60000);
    refresh.SetAddresses({"127.0.0.1:" + std::to_string(silent.GamePort())});
    ASSERT_TRUE(refresh.Start());
    ASSERT_TRUE(silent.At(0).Receive(2000).has_value()); // the round is under way
    const auto stopping = std::chrono::steady_clock::now();
    refresh.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 30s);
    const size_t seen = rounds.Count();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(rounds.Count(), seen);
    EXPECT_EQ(seen, 0u); // the round under way was dropped
    EXPECT_FALSE(refresh.Start());
}

TEST(ServersRefreshTest, TheCallbackMayStopTheRefresh) {
    Rounds rounds;
    CServersRefresh* self = nullptr;
    CServersRefresh refresh([&](std::vector<ServerRow> rows) {
        self->Stop();
        rounds.Callback()(std::move(rows));
    });
    self = &refresh;
    refresh.SetAddresses({});
    refresh.SetInterval(5);
    ASSERT_TRUE(refresh.Start());
    ASSERT_TRUE(rounds.WaitFor(1));
    refresh.RefreshNow();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(rounds.Count(), 1u);
    EXPECT_TRUE(rounds.Round(0).empty());
}

TEST(ServersRefreshTest, TheIntervalIsClamped) {
    CServersRefresh refresh(nullptr);
    EXPECT_EQ(refresh.IntervalSeconds(), 20);
    const std::pair<int, int> cases[] = {{1, 5}, {-7, 5}, {5, 5}, {6, 6}, {86400, 3600}};
    for (const auto& [given, expected] : cases) {
        refresh.SetInterval(given);
        EXPECT_EQ(refresh.IntervalSeconds(), expected) << given;
    }
}
