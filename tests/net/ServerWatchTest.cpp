// Selecting a server as the window's list does: stop, reset under the lock, resolve, set the
// server and start; against fake game servers on loopback.
#include "net/ServerWatch.h"
#include "ReplyBytes.h"
#include "tests/support/FakeGameServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

using namespace quillory;
using namespace quillory::test;
using namespace std::chrono_literals;

namespace {

const std::string SOCKETS_PROBE_START("\x20\x00\x01\x08", 4);

bool WaitFor(CWatchState& state, const std::function<bool(const WatchSnapshot&)>& condition) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!condition(state.Snapshot())) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        state.WaitForChange(50);
    }
    return true;
}

// The first datagram at `peer` that starts with `prefix`, skipping other probes.
std::optional<Datagram> ReceiveStartingWith(FakeUdpPeer& peer, const std::string& prefix) {
    for (int i = 0; i < 8; ++i) {
        auto d = peer.Receive();
        if (!d)
            return std::nullopt;
        if (d->bytes.compare(0, prefix.size(), prefix) == 0)
            return d;
    }
    return std::nullopt;
}

String At(const FakeGameServer& server, const char* host = "127.0.0.1") {
    return String(host) + ":" + std::to_string(server.GamePort());
}

// Messages waiting in an engine whose thread was never started.
std::vector<CWorkerThread::Message> Queued(CServerQuery& engine) {
    std::vector<CWorkerThread::Message> messages;
    CWorkerThread::Message m{};
    while (engine.TryGet(m.code, &m.first, &m.second))
        messages.push_back(m);
    return messages;
}

} // namespace

TEST(ServerWatch, SelectWatchesAndReselectingResetsTheStatus) {
    FakeGameServer first, second;
    ASSERT_TRUE(first.Open());
    ASSERT_TRUE(second.Open());
    CServerWatch watch;
    ASSERT_TRUE(watch.Open());
    watch.SetGantryFeature(true);

    ASSERT_EQ(watch.Select(At(first), "pw"), SelectResult::WATCHING);
    EXPECT_TRUE(watch.Watching());
    EXPECT_EQ(watch.ConnectAddress(), "127.0.0.1");
    EXPECT_EQ(watch.ConnectPort(), std::to_string(first.GamePort()));
    auto hello = first.At(20).Receive();
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->bytes, std::string("\xC3\x03\x00\x00pw\x00", 7)) << "the password given";

    auto probe = ReceiveStartingWith(first.At(0), SOCKETS_PROBE_START);
    ASSERT_TRUE(probe);
    EnumFields fields;
    fields.state = GS_BRIEFING;
    ASSERT_TRUE(first.At(0).Send(probe->fromPort, SocketsReply(348, fields)));
    ASSERT_TRUE(
        WaitFor(watch.State(), [](const WatchSnapshot& s) { return s.enumerationReplies > 0; }));
    WatchSnapshot seen = watch.State().Snapshot();
    EXPECT_EQ(seen.status.description, "Dedicated server on Alpha");
    EXPECT_EQ(seen.status.state, GS_BRIEFING);
    EXPECT_EQ(seen.status.implementation, IMPL_SOCKETS);
    EXPECT_TRUE(seen.gantryFeatureActive);
    {
        // Something known beyond the reply, which a new selection must forget as well.
        std::lock_guard guard(watch.State().StatusLock());
        watch.State().status.mission = "Alpha";
        watch.State().status.gantryChunksReceived = 3;
    }

    ASSERT_EQ(watch.Select(" localhost : " + std::to_string(second.GamePort()) + " ", "other"),
              SelectResult::WATCHING);
    seen = watch.State().Snapshot();
    EXPECT_EQ(seen.status.description, "");
    EXPECT_EQ(seen.status.mission, "");
    EXPECT_EQ(seen.status.gantryChunksReceived, 0);
    EXPECT_EQ(seen.status.state, 0);
    EXPECT_EQ(seen.status.implementation, IMPL_NONE);
    EXPECT_EQ(seen.status.gantryChunkTotal, GANTRY_DEFAULT_CHUNK_TOTAL);
    EXPECT_EQ(seen.enumerationReplies, 0u);
    EXPECT_EQ(watch.ConnectAddress(), "127.0.0.1");
    EXPECT_EQ(watch.ConnectPort(), std::to_string(second.GamePort()));
    hello = second.At(20).Receive();
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->bytes, std::string("\xC3\x03\x00\x00other\x00", 10));
    EXPECT_TRUE(ReceiveStartingWith(second.At(0), SOCKETS_PROBE_START));
}

TEST(ServerWatch, SelectPostsStopThenServerAndStart) {
    CServerWatch watch; // not opened: the messages stay in the queue for the test to read
    ASSERT_EQ(watch.Select("127.0.0.1:2400", ""), SelectResult::WATCHING);
    auto messages = Queued(watch.Engine());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].code, QM_SET_SERVER);
    EXPECT_EQ(messages[0].first, LoopbackAddress());
    EXPECT_EQ(messages[0].second, 2400u);
    EXPECT_EQ(messages[1].code, QM_START);

    ASSERT_EQ(watch.Select("127.0.0.1", ""), SelectResult::WATCHING);
    messages = Queued(watch.Engine());
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].code, QM_STOP);
    EXPECT_EQ(messages[1].code, QM_SET_SERVER);
    EXPECT_EQ(messages[1].second, 0u) << "no port: the default ports";
    EXPECT_EQ(messages[2].code, QM_START);
    EXPECT_EQ(watch.ConnectPort(), "0");

    watch.Stop();
    messages = Queued(watch.Engine());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].code, QM_STOP);
    EXPECT_FALSE(watch.Watching());
    watch.Stop();
    EXPECT_TRUE(Queued(watch.Engine()).empty()) << "nothing to stop twice";
}

TEST(ServerWatch, BadAddressResetsAndPostsNothing) {
    const std::vector<String> bad = {"", ":2302", "127.0.0.1:70000", "no-such-host!"};
    for (const String& address : bad) {
        CServerWatch watch;
        {
            std::lock_guard guard(watch.State().StatusLock());
            watch.State().status.description = "old server";
        }
        EXPECT_EQ(watch.Select(address, "pw"), SelectResult::BAD_ADDRESS) << address;
        EXPECT_TRUE(Queued(watch.Engine()).empty()) << address;
        EXPECT_FALSE(watch.Watching());
        EXPECT_EQ(watch.State().Snapshot().status.description, "");
    }
    // While watching, the old server is stopped and nothing else is posted.
    CServerWatch watch;
    ASSERT_EQ(watch.Select("127.0.0.1:2400", ""), SelectResult::WATCHING);
    Queued(watch.Engine());
    EXPECT_EQ(watch.Select("127.0.0.1:99999", ""), SelectResult::BAD_ADDRESS);
    auto messages = Queued(watch.Engine());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].code, QM_STOP);
    EXPECT_FALSE(watch.Watching());
}

TEST(ServerWatch, SnapshotSharesNothingWithTheEngine) {
    CWatchState state;
    {
        std::lock_guard guard(state.StatusLock());
        state.status.playerList.push_back(std::make_shared<PlayerInfo>(PlayerInfo{"a", "1", "0"}));
        state.status.gantryState = GANTRY_ANSWERED;
        state.status.gantryChunksReceived = 4;
        state.description = std::vector<uint8_t>{1, 2, 3};
        state.statusReplies = 2;
    }
    WatchSnapshot seen = state.Snapshot();
    ASSERT_EQ(seen.status.playerList.size(), 1u);
    EXPECT_EQ(seen.status.playerList[0]->name, "a");
    EXPECT_NE(seen.status.playerList[0], state.status.playerList[0]);
    EXPECT_EQ(seen.status.gantryState, GANTRY_ANSWERED);
    EXPECT_EQ(seen.status.gantryChunksReceived, 4);
    EXPECT_TRUE(seen.descriptionWaiting);
    EXPECT_EQ(seen.statusReplies, 2u);

    auto taken = state.TakeDescription();
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(state.TakeDescription());
    EXPECT_FALSE(state.Snapshot().descriptionWaiting);
}
