// Several servers asked at once: each outcome is told as soon as it is known, once, and a
// cancel ends the run.
#include "net/MultiQuery.h"
#include "tests/net/ReplyBytes.h"
#include "tests/support/FakeGameServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
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

// A fake server that speaks Sockets or DirectPlay and answers the status query on port+1 or
// port+2, keeping what arrived at each of its ports until it is destroyed.
class Scripted {
public:
    struct Script {
        bool directPlay = false;
        uint16_t statusOffset = 1;
    };

    explicit Scripted(Script script) : script_(script) {
        opened_ = server_.Open();
        thread_ = std::thread([this] { Loop(); });
    }
    ~Scripted() { Stop(); }
    bool Opened() const { return opened_; }
    String Address() const { return "127.0.0.1:" + std::to_string(server_.GamePort()); }

    // Ends the answering and returns what each port was sent, every datagram that came.
    std::map<uint16_t, std::vector<std::string>> Stop() {
        if (thread_.joinable()) {
            stop_ = true;
            thread_.join();
            for (uint16_t offset : FakeGameServer::OFFSETS)
                while (auto d = server_.At(offset).Receive(0))
                    arrived_[offset].push_back(d->bytes);
        }
        return arrived_;
    }

private:
    void Loop() {
        while (!stop_ && opened_) {
            for (uint16_t offset : {0, 1, 2}) {
                auto d = server_.At(offset).Receive(5);
                if (!d)
                    continue;
                arrived_[offset].push_back(d->bytes);
                Answer(offset, *d);
            }
        }
    }

    void Answer(uint16_t offset, const Datagram& d) {
        FakeUdpPeer& peer = server_.At(offset);
        if (offset == 0 && !script_.directPlay && d.bytes.size() == 32)
            peer.Send(d.fromPort, SocketsReply(348, EnumFields{}));
        if (offset == 0 && script_.directPlay && d.bytes.size() == 21)
            peer.Send(d.fromPort, DirectPlayReply(EnumFields{}));
        if (offset == script_.statusOffset && d.bytes == "\\status\\")
            peer.Send(d.fromPort,
                      StatusDatagram("\\gamename\\ironval\\mapname\\Vale\\final\\", "3", 0));
    }

    Script script_;
    FakeGameServer server_;
    bool opened_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::map<uint16_t, std::vector<std::string>> arrived_;
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

// Servers that answer on the likely ports get two datagrams from a query; a DirectPlay server
// or one answering on port+2 still gets the rest, and all are found in the same run.
TEST(MultiQuery, TheFirstRoundGrowsOnlyForServersThatNeedTheRest) {
    struct Case {
        const char* name;
        Scripted::Script script;
        int32_t implementation;
        std::map<uint16_t, size_t> datagrams; // how many each port got
    };
    const Case cases[] = {
        {"Sockets, status on port+1", {false, 1}, IMPL_SOCKETS, {{0, 1}, {1, 1}}},
        {"DirectPlay, status on port+1", {true, 1}, IMPL_DIRECTPLAY, {{0, 2}, {1, 1}}},
        {"Sockets, status on port+2", {false, 2}, IMPL_SOCKETS, {{0, 1}, {1, 1}, {2, 1}}},
        {"DirectPlay, status on port+2", {true, 2}, IMPL_DIRECTPLAY, {{0, 2}, {1, 1}, {2, 1}}},
    };
    std::vector<std::unique_ptr<Scripted>> servers;
    std::vector<String> addresses;
    for (const Case& c : cases) {
        servers.push_back(std::make_unique<Scripted>(c.script));
        ASSERT_TRUE(servers.back()->Opened());
        addresses.push_back(servers.back()->Address());
    }
    CMultiQuery query;
    // Long enough that a loaded machine's fake servers answer the first step within it.
    query.SetStageDelay(1000);
    const auto outcomes = query.Run(addresses, 10000);
    ASSERT_EQ(outcomes.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(outcomes[i].result, QueryResult::REPLIED);
        EXPECT_EQ(outcomes[i].status.implementation, cases[i].implementation);
        EXPECT_EQ(outcomes[i].status.map, "Vale");
        std::map<uint16_t, size_t> counts;
        for (const auto& [offset, datagrams] : servers[i]->Stop())
            counts[offset] = datagrams.size();
        EXPECT_EQ(counts, cases[i].datagrams);
    }
}
