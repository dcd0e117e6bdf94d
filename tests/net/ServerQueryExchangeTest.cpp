// The engine on its own thread against a fake server on loopback: the bytes it sends, the
// ports it sends them to and when, and what the replies leave in the record.
#include "ReplyBytes.h"
#include "net/ServerQuery.h"
#include "tests/support/FakeGameServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

using namespace quillory;
using namespace quillory::test;
using namespace std::chrono_literals;

namespace {

const std::string SOCKETS_PROBE("\x20\x00\x01\x08\x1B\xC9\xC2\xE9\x01\x00\x00\x00\x01\x00\x00\x00"
                                "\x00\x00\x00\x00\x00\x00\x00\x00\xAE\x91\xE1\xEE\x00\x00\x00\x00",
                                32);
const std::string DIRECTPLAY_PROBE("\x00\x02\xC4\xE2\x01\x60\x98\x24\xF7\xBE\xD0\xD2\x11\x95\xEA"
                                   "\x00\xA0\xC9\xA5\x7F\x0B",
                                   21);
const std::string STATUS_QUERY = "\\status\\";

// How long a port must stay silent to count as not sent to. Sends follow the idle step
// within ~100 ms; this leaves room for a loaded machine.
constexpr uint32_t QUIET_MS = 400;

class Exchange : public ::testing::Test {
protected:
    FakeGameServer server;
    FakeGameServer other;
    CWatchState state;
    std::atomic<uint32_t> now{1000};
    std::unique_ptr<CServerQuery> engine;

    void SetUp() override {
        ASSERT_TRUE(server.Open());
        ASSERT_TRUE(other.Open());
        DefaultGamePorts defaults{server.GamePort(), other.GamePort()};
        engine = std::make_unique<CServerQuery>(
            state, [this] { return now.load(); }, defaults);
        ASSERT_TRUE(engine->Create(0, 0, LoopbackAddress()));
        ASSERT_TRUE(engine->Start());
    }

    void Select(uint16_t port) {
        {
            std::lock_guard guard(state.StatusLock());
            state.ResetForNewServer();
        }
        engine->Post(QM_SET_SERVER, LoopbackAddress(), port);
        engine->Post(QM_START);
    }

    // The next cycle is due; the idle step runs it.
    void NextCycle() { now += CServerQuery::CYCLE_MS; }

    bool WaitForStatus(const std::function<bool(const CWatchState&)>& condition) {
        auto end = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            {
                std::lock_guard guard(state.StatusLock());
                if (condition(state))
                    return true;
            }
            if (std::chrono::steady_clock::now() > end)
                return false;
            state.WaitForChange(50);
        }
    }

    static void ExpectBytes(FakeUdpPeer& peer, const std::string& bytes) {
        auto d = peer.Receive();
        ASSERT_TRUE(d.has_value()) << "nothing arrived at " << peer.Port();
        EXPECT_EQ(d->bytes, bytes);
    }

    // Everything a cycle sends before any reply: both probes and two status queries.
    static void ExpectFirstCycle(FakeGameServer& s) {
        ExpectBytes(s.At(0), SOCKETS_PROBE);
        ExpectBytes(s.At(0), DIRECTPLAY_PROBE);
        ExpectBytes(s.At(1), STATUS_QUERY);
        ExpectBytes(s.At(2), STATUS_QUERY);
    }

    // One Sockets reply from the game port, answering the engine at `enginePort`.
    void AnswerSockets(uint16_t enginePort, uint32_t state = 14) {
        EnumFields f;
        f.state = state;
        server.At(0).Send(enginePort, SocketsReply(348, f));
    }
};

} // namespace

TEST_F(Exchange, KnownPortGetsProbesAndStatusQueryAtOnceThenEnumerationEveryCycle) {
    Select(server.GamePort());
    auto probe = server.At(0).Receive();
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->bytes, SOCKETS_PROBE);
    ExpectBytes(server.At(0), DIRECTPLAY_PROBE);
    ExpectBytes(server.At(1), STATUS_QUERY);
    ExpectBytes(server.At(2), STATUS_QUERY);
    EXPECT_TRUE(other.At(0).StaysQuiet(QUIET_MS)) << "the default ports are not probed";

    const uint16_t enginePort = probe->fromPort;
    now += 42;
    AnswerSockets(enginePort);
    server.At(2).Send(enginePort,
                      StatusDatagram("\\gamename\\ironval\\mapname\\Everon\\final\\", "3", 0));
    ASSERT_TRUE(WaitForStatus(
        [](const CWatchState& s) { return s.enumerationReplies == 1 && s.statusReplies == 1; }));
    {
        std::lock_guard guard(state.StatusLock());
        EXPECT_EQ(state.status.ping, 42);
        EXPECT_EQ(state.status.map, "Everon");
        EXPECT_EQ(state.status.port, server.GamePort());
    }

    // Cycles 1 to 3: the Sockets probe alone; cycle 4: the status query to the learned port.
    for (int cycle = 1; cycle <= 4; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        NextCycle();
        ExpectBytes(server.At(0), SOCKETS_PROBE);
        if (cycle == 4)
            ExpectBytes(server.At(2), STATUS_QUERY);
        EXPECT_TRUE(server.At(1).StaysQuiet(QUIET_MS));
        EXPECT_TRUE(server.At(0).StaysQuiet(0)) << "no DirectPlay probe once Sockets answered";
    }
    EXPECT_TRUE(server.At(2).StaysQuiet(0));
}

TEST_F(Exchange, DefaultPortsUntilTheServerAnswersThenItsPortsOnly) {
    Select(0);
    ExpectFirstCycle(server);
    ExpectFirstCycle(other);
    // A DirectPlay answer from the second default port makes it the game port.
    EnumFields f;
    f.players = 5;
    other.At(0).Send(engine->LocalPort(), DirectPlayReply(f));
    ASSERT_TRUE(WaitForStatus([](const CWatchState& s) { return s.enumerationReplies == 1; }));
    {
        std::lock_guard guard(state.StatusLock());
        EXPECT_EQ(state.status.port, other.GamePort());
        EXPECT_EQ(state.status.players, 3);
    }
    for (int cycle = 1; cycle <= 4; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        NextCycle();
        ExpectBytes(other.At(0), DIRECTPLAY_PROBE);
        if (cycle == 4) {
            ExpectBytes(other.At(1), STATUS_QUERY);
            ExpectBytes(other.At(2), STATUS_QUERY);
        }
    }
    EXPECT_TRUE(server.At(0).StaysQuiet(QUIET_MS));
    EXPECT_TRUE(server.At(1).StaysQuiet(0));
}

TEST_F(Exchange, StatusOnlyServerKeepsEveryQueryGoingAndNoPing) {
    Select(server.GamePort());
    ExpectFirstCycle(server);
    server.At(1).Send(engine->LocalPort(), StatusDatagram("\\gamename\\ironval\\final\\", "1", 0));
    ASSERT_TRUE(WaitForStatus([](const CWatchState& s) { return s.statusReplies == 1; }));
    NextCycle();
    ExpectFirstCycle(server);
    std::lock_guard guard(state.StatusLock());
    EXPECT_EQ(state.status.implementation, IMPL_NONE);
    EXPECT_EQ(state.status.ping, 0);
}

TEST_F(Exchange, CyclesContinueAcrossTheTickWrap) {
    now = 0xFFFFFFFFu - 500;
    Select(server.GamePort());
    ExpectFirstCycle(server);
    now += 1000; // wrapped, but only 1000 ms later
    EXPECT_TRUE(server.At(0).StaysQuiet(QUIET_MS));
    now += 1000;
    ExpectBytes(server.At(0), SOCKETS_PROBE);
}

TEST_F(Exchange, StartRunsACycleAtOnceEvenRightAfterAnotherAndAtTickZero) {
    now = 0;
    Select(server.GamePort());
    ExpectFirstCycle(server);
    now = 300;
    engine->Post(QM_STOP);
    engine->Post(QM_START);
    ExpectBytes(server.At(0), SOCKETS_PROBE);
}

TEST_F(Exchange, MessagesTakeEffectInTheOrderPosted) {
    engine->Post(QM_SET_SERVER, LoopbackAddress(), server.GamePort());
    engine->Post(QM_START);
    engine->Post(QM_STOP);
    engine->Post(QM_SET_SERVER, LoopbackAddress(), other.GamePort());
    ExpectFirstCycle(server);
    NextCycle();
    EXPECT_TRUE(server.At(0).StaysQuiet(QUIET_MS)) << "stopped";
    EXPECT_TRUE(other.At(0).StaysQuiet(0)) << "set, never started";
    engine->Post(QM_START);
    ExpectBytes(other.At(0), SOCKETS_PROBE);
    engine->Post(QM_QUIT);
    EXPECT_EQ(engine->Wait(10000), WAIT_OBJECT_0);
}

TEST_F(Exchange, GantryHelloOnlyWhenTheFeatureIsActiveAndNoAfterTwoCycles) {
    Select(server.GamePort());
    ExpectFirstCycle(server);
    EXPECT_TRUE(server.At(20).StaysQuiet(QUIET_MS));
    {
        std::lock_guard guard(state.StatusLock());
        state.gantryFeatureActive = true;
        engine->SetPasswordLocked("");
    }
    Select(server.GamePort());
    const std::string emptyPasswordHello("\xC3\x03\x00\x00\x00", 5);
    for (int cycle = 0; cycle < 2; ++cycle) {
        ExpectBytes(server.At(20), emptyPasswordHello);
        ExpectBytes(server.At(40), emptyPasswordHello);
        NextCycle();
    }
    ASSERT_TRUE(
        WaitForStatus([](const CWatchState& s) { return s.status.gantryState == GANTRY_NONE; }));
    NextCycle();
    EXPECT_TRUE(server.At(20).StaysQuiet(QUIET_MS)) << "two hellos at most";
}

TEST_F(Exchange, HelloCarriesThePasswordAndATooLongOneIsRefusedUnsent) {
    {
        std::lock_guard guard(state.StatusLock());
        state.gantryFeatureActive = true;
        engine->SetPasswordLocked("pw");
    }
    Select(server.GamePort());
    ExpectBytes(server.At(20), std::string("\xC3\x03\x00\x00pw\x00", 7));
    {
        std::lock_guard guard(state.StatusLock());
        engine->SetPasswordLocked(std::string(124, 'p'));
    }
    Select(server.GamePort());
    ASSERT_TRUE(WaitForStatus(
        [](const CWatchState& s) { return s.status.gantryState == GANTRY_PASSWORD_REFUSED; }));
    server.At(20).Drain();
    EXPECT_TRUE(server.At(20).StaysQuiet(QUIET_MS));
}

// A one-shot query's first round: the Sockets probe and the status query to port+1 first, the
// DirectPlay probe and the status query to port+2 only once those went unanswered a while.
TEST_F(Exchange, StagedFirstRoundSendsTheRestOnlyAfterItsDelay) {
    engine->SetStagedFirstRound(200);
    Select(server.GamePort());
    auto probe = server.At(0).Receive();
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->bytes, SOCKETS_PROBE);
    ExpectBytes(server.At(1), STATUS_QUERY);
    now += 199;
    EXPECT_TRUE(server.At(0).StaysQuiet(QUIET_MS)) << "no DirectPlay probe before the delay";
    EXPECT_TRUE(server.At(2).StaysQuiet(0)) << "no status query to port+2 before the delay";

    now += 1;
    ExpectBytes(server.At(0), DIRECTPLAY_PROBE);
    ExpectBytes(server.At(2), STATUS_QUERY);
    // A server that speaks only DirectPlay and answers on port+2 is still found, its ping
    // counted from the probe it answered.
    now += 30;
    EnumFields f;
    server.At(0).Send(probe->fromPort, DirectPlayReply(f));
    server.At(2).Send(probe->fromPort,
                      StatusDatagram("\\gamename\\ironval\\mapname\\Everon\\final\\", "3", 0));
    ASSERT_TRUE(WaitForStatus(
        [](const CWatchState& s) { return s.enumerationReplies == 1 && s.statusReplies == 1; }));
    {
        std::lock_guard guard(state.StatusLock());
        EXPECT_EQ(state.status.implementation, IMPL_DIRECTPLAY);
        EXPECT_EQ(state.status.ping, 30);
        EXPECT_EQ(state.status.port, server.GamePort());
        EXPECT_EQ(state.status.map, "Everon");
    }
    // Later rounds are the usual ones.
    NextCycle();
    ExpectBytes(server.At(0), DIRECTPLAY_PROBE);
    EXPECT_TRUE(server.At(1).StaysQuiet(QUIET_MS));
    EXPECT_TRUE(server.At(0).StaysQuiet(0));
}

// Only what the first step left unanswered follows it, once.
TEST_F(Exchange, StagedFirstRoundFollowsUpOnlyTheUnansweredHalf) {
    engine->SetStagedFirstRound(200);
    Select(server.GamePort());
    auto probe = server.At(0).Receive();
    ASSERT_TRUE(probe);
    ExpectBytes(server.At(1), STATUS_QUERY);
    now += 12;
    AnswerSockets(probe->fromPort);
    ASSERT_TRUE(WaitForStatus([](const CWatchState& s) { return s.enumerationReplies == 1; }));
    now += 200;
    ExpectBytes(server.At(2), STATUS_QUERY);
    EXPECT_TRUE(server.At(0).StaysQuiet(QUIET_MS)) << "the Sockets reply made DirectPlay moot";
    now += 200;
    EXPECT_TRUE(server.At(2).StaysQuiet(QUIET_MS)) << "the second step goes out once";
    std::lock_guard guard(state.StatusLock());
    EXPECT_EQ(state.status.ping, 12);
}

// Without a port to start from, a staged query sends the whole round to the default ports.
TEST_F(Exchange, StagedFirstRoundIsWholeWithoutAGamePort) {
    engine->SetStagedFirstRound(200);
    Select(0);
    ExpectFirstCycle(server);
    ExpectFirstCycle(other);
}
