// Several servers asked at once: each outcome is told as soon as it is known, once, and a
// cancel ends the run.
#include "net/MultiQuery.h"
#include "tests/net/ReplyBytes.h"
#include "tests/support/FakeGameServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace quillory;
using namespace quillory::test;

namespace {

// Answers the Sockets probe and the status query of one fake server until destroyed.
class Answering {
public:
    explicit Answering(std::string map) : map_(std::move(map)) {
        opened_ = server_.Open();
        thread_ = std::thread([this] { Loop(); });
    }
    ~Answering() {
        stop_ = true;
        thread_.join();
    }
    bool Opened() const { return opened_; }
    String Address() const { return "127.0.0.1:" + std::to_string(server_.GamePort()); }

private:
    void Loop() {
        while (!stop_ && opened_) {
            if (auto d = server_.At(0).Receive(20); d && d->bytes.size() == 32)
                server_.At(0).Send(d->fromPort, SocketsReply(348, EnumFields{}));
            if (auto d = server_.At(1).Receive(20))
                server_.At(1).Send(
                    d->fromPort,
                    StatusDatagram("\\gamename\\ironval\\mapname\\" + map_ + "\\final\\", "3", 0));
        }
    }

    std::string map_;
    FakeGameServer server_;
    bool opened_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Told {
    size_t index;
    QueryResult result;
    String map;
};

} // namespace

TEST(MultiQuery, EachOutcomeIsToldOnceTheAnsweringOnesBeforeTheSilent) {
    Answering first("Ridge"), second("Marsh");
    FakeGameServer silent; // holds its ports, answers nothing
    ASSERT_TRUE(first.Opened() && second.Opened() && silent.Open());
    const std::vector<String> addresses = {"127.0.0.1:" + std::to_string(silent.GamePort()),
                                           first.Address(), "127.0.0.1:70000", second.Address()};

    CMultiQuery query;
    std::vector<Told> told;
    query.SetOutcomeHandler([&told](size_t index, const QueryOutcome& o) {
        told.push_back({index, o.result, o.status.map});
    });
    const auto outcomes = query.Run(addresses, 1500);

    ASSERT_EQ(told.size(), 4u);
    // The bad address at once, the two that answer as they do, the silent one at the end.
    EXPECT_EQ(told[0].index, 2u);
    EXPECT_EQ(told[0].result, QueryResult::BAD_ADDRESS);
    std::vector<size_t> answered = {told[1].index, told[2].index};
    std::sort(answered.begin(), answered.end());
    EXPECT_EQ(answered, (std::vector<size_t>{1, 3}));
    EXPECT_EQ(told[1].result, QueryResult::REPLIED);
    EXPECT_EQ(told[2].result, QueryResult::REPLIED);
    EXPECT_EQ(told[3].index, 0u);
    EXPECT_EQ(told[3].result, QueryResult::NO_REPLY);
    for (const Told& t : told)
        EXPECT_EQ(t.map, outcomes[t.index].status.map) << "told what Run returns";
    EXPECT_EQ(outcomes[1].status.map, "Ridge");
    EXPECT_EQ(outcomes[3].status.map, "Marsh");
}

TEST(MultiQuery, CancelEndsTheRunAndTellsNoMore) {
    Answering answering("Ridge");
    FakeGameServer silent;
    ASSERT_TRUE(answering.Opened() && silent.Open());
    CMultiQuery query;
    std::vector<size_t> told;
    // Cancelled from the handler once the first server answered: without the cancel the run
    // would wait ten minutes for the silent one.
    query.SetOutcomeHandler([&](size_t index, const QueryOutcome&) {
        told.push_back(index);
        query.Cancel();
    });
    const auto outcomes =
        query.Run({answering.Address(), "127.0.0.1:" + std::to_string(silent.GamePort())}, 600'000);
    EXPECT_EQ(told, std::vector<size_t>{0});
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].result, QueryResult::REPLIED);
    EXPECT_EQ(outcomes[1].result, QueryResult::NO_REPLY);
    EXPECT_TRUE(query.Cancelled());

    // A cancelled query asks nobody again.
    told.clear();
    const auto again = query.Run({answering.Address()}, 600'000);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].result, QueryResult::NO_REPLY);
    EXPECT_TRUE(told.empty());
}

TEST(MultiQuery, CancelFromAnotherThreadEndsAWaitOnSilence) {
    FakeGameServer silent;
    ASSERT_TRUE(silent.Open());
    CMultiQuery query;
    std::atomic<bool> started{false};
    std::thread canceller([&] {
        while (!started)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        query.Cancel();
    });
    started = true;
    const auto outcomes = query.Run({"127.0.0.1:" + std::to_string(silent.GamePort())}, 600'000);
    canceller.join();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, QueryResult::NO_REPLY);
}
