// The Gantry description transfer, driven through the engine's handlers on the test thread;
// the engine's requests are read from a fake Gantry server on loopback.
#include "net/GantryTransfer.h"
#include "gantry/client/GantryClient.h"
#include "net/ServerQuery.h"
#include "tests/support/FakeGameServer.h"
#include "tests/support/ScratchFolder.h"
#include "watch/core/WatchRules.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <mutex>

using namespace quillory;
using namespace quillory::test;

namespace {

constexpr uint64_t TAG = 0x0000001234abcdefull;
const std::string SEND_ALL("\xC3\x03\x01\x00", 4);

std::string SendOne(uint16_t index) {
    return std::string("\xC3\x03\x02\x00", 4) + char(index & 0xFF) + char(index >> 8);
}

std::string U16(uint16_t v) {
    return {char(v & 0xFF), char(v >> 8)};
}
std::string U32(uint32_t v) {
    return U16(uint16_t(v)) + U16(uint16_t(v >> 16));
}

std::string Hello(uint16_t total, uint64_t tag = TAG) {
    return U16(0x8000) + U16(total) + U32(uint32_t(tag)) + U32(uint32_t(tag >> 32));
}

std::string Chunk(uint16_t index, const std::string& payload) {
    std::string c = U16(index) + payload;
    uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(c.data()), uInt(c.size())));
    return c + U32(crc);
}

// A description compressed with zlib and prefixed with its length, cut into `n` chunks.
std::vector<std::string> DescriptionChunks(const std::string& description, int n) {
    uLongf size = compressBound(description.size());
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(description.data()), description.size());
    packed.resize(size);
    std::string all = U32(uint32_t(description.size())) + packed;
    std::vector<std::string> chunks;
    size_t piece = all.size() / n + 1;
    for (int i = 0; i < n; ++i)
        chunks.push_back(Chunk(uint16_t(i), all.substr(std::min(all.size(), i * piece), piece)));
    return chunks;
}

// A cache file as older versions wrote it: the chunks without the server they came from.
std::string OldCacheBytes(const std::vector<std::string>& chunks) {
    std::string bytes = U32(uint32_t(chunks.size()));
    for (const auto& c : chunks)
        bytes += U32(uint32_t(c.size())) + c;
    return bytes;
}

// The mark, the tag, the address's octets and the Gantry port before the chunks.
constexpr size_t CACHE_HEADER = 18;
std::string CacheBytes(const std::vector<std::string>& chunks, uint16_t gantryPort,
                       uint64_t tag = TAG,
                       const std::string& octets = std::string("\x7f\x00\x00\x01", 4)) {
    return "QGC1" + U32(uint32_t(tag)) + U32(uint32_t(tag >> 32)) + octets + U16(gantryPort) +
           OldCacheBytes(chunks);
}

const std::string DESCRIPTION = [] {
    std::string d;
    for (int i = 0; i < 200; ++i)
        d += "package " + std::to_string(i) + " addons\\file.pbo\n";
    return d;
}();

class Gantry : public ::testing::Test {
protected:
    FakeGameServer server;
    ScratchFolder cache;
    CWatchState state;
    uint32_t now = 1000;
    CServerQuery engine{state, [this] { return now; }};

    void SetUp() override {
        ASSERT_TRUE(server.Open());
        ASSERT_TRUE(engine.Create(0, 0, LoopbackAddress()));
        engine.SetCacheFolder(cache.Path().string());
        engine.HandleMessage(QM_SET_SERVER, LoopbackAddress(), server.GamePort());
        engine.HandleMessage(QM_START, 0, 0);
        server.DrainAll();
    }

    FakeUdpPeer& GantryPeer() { return server.At(20); }
    void Feed(const std::string& bytes, uint16_t offset = 20) {
        engine.HandleDatagram(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                              LoopbackAddress(), uint16_t(server.GamePort() + offset));
    }
    // Lets the clock run to the next cycle, which runs at once.
    void Cycle(uint32_t advance = CServerQuery::CYCLE_MS + 500) {
        now += advance;
        engine.PollCycle();
    }
    ServerStatus Status() {
        std::lock_guard guard(state.StatusLock());
        return state.status;
    }
    uint16_t GantryPort() const { return uint16_t(server.GamePort() + 20); }
    std::string CachePath(uint64_t tag = TAG) {
        return cache / GantryCacheName({tag, LoopbackAddress(), GantryPort()});
    }
    // The bytes of this server's cache file.
    std::string OwnCacheBytes(const std::vector<std::string>& chunks) {
        return CacheBytes(chunks, GantryPort());
    }
    // Starts the exchange again, as selecting the server anew does.
    void Restart() {
        engine.HandleMessage(QM_START, 0, 0);
        {
            std::lock_guard guard(state.StatusLock());
            state.ResetForNewServer();
        }
        server.DrainAll();
    }
    // The hello is answered by asking for the whole description: nothing came from a cache.
    void ExpectFetched(uint16_t total) {
        Feed(Hello(total));
        auto request = GantryPeer().Receive();
        ASSERT_TRUE(request);
        EXPECT_EQ(request->bytes, SEND_ALL);
        EXPECT_EQ(Status().gantryChunksReceived, 0);
    }
    void ExpectDescriptionHandedOver() {
        auto outcome = state.WaitForGantryOutcome(0);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->state, GANTRY_ANSWERED);
        ASSERT_TRUE(outcome->description);
        EXPECT_EQ(std::string(outcome->description->begin(), outcome->description->end()),
                  DESCRIPTION);
    }
};

} // namespace

TEST_F(Gantry, ChunksOutOfOrderCompleteTheTransferAndAreCachedInIndexOrder) {
    Feed(Hello(3));
    auto request = GantryPeer().Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->bytes, SEND_ALL);
    EXPECT_EQ(Status().gantryState, GANTRY_ANSWERED);
    EXPECT_EQ(Status().gantryChunkTotal, 3);
    EXPECT_FALSE(state.WaitForGantryOutcome(0));

    auto chunks = DescriptionChunks(DESCRIPTION, 3);
    int received = 0;
    for (int index : {2, 0, 1}) {
        Feed(chunks[index]);
        EXPECT_EQ(Status().gantryChunksReceived, ++received);
    }
    EXPECT_EQ(GantryStateText(Status(), true), "Yes");
    std::string cached;
    ASSERT_TRUE(ReadFileBytes(CachePath(), cached));
    EXPECT_EQ(cached, OwnCacheBytes(chunks));
    EXPECT_EQ(GantryCacheName({TAG, LoopbackAddress(), 2322}),
              "1234abcdef-127.0.0.1-2322.description");
    ExpectDescriptionHandedOver();
}

TEST_F(Gantry, DuplicateChunkIsIgnoredButDelaysTheReRequest) {
    auto chunks = DescriptionChunks(DESCRIPTION, 2);
    Feed(Hello(2));
    Feed(chunks[0]);
    now += 3000;
    Feed(chunks[0]);
    EXPECT_EQ(Status().gantryChunksReceived, 1);
    GantryPeer().Drain();
    Cycle(2000); // 2000 ms after the duplicate: no re-request yet
    EXPECT_TRUE(GantryPeer().StaysQuiet(200));
    Cycle(2500); // 4500 ms after it
    auto request = GantryPeer().Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->bytes, SendOne(1));
}

TEST_F(Gantry, CorruptChunkIsDroppedAndRequestedAgain) {
    auto chunks = DescriptionChunks(DESCRIPTION, 3);
    Feed(Hello(3));
    std::string corrupt = chunks[1];
    corrupt[5] ^= 0x40;
    Feed(chunks[0]);
    Feed(corrupt);
    Feed(chunks[2]);
    EXPECT_EQ(Status().gantryChunksReceived, 2);
    EXPECT_EQ(GantryStateText(Status(), true), "66%");
    GantryPeer().Drain();
    Cycle(5000);
    auto request = GantryPeer().Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->bytes, SendOne(1));
    EXPECT_TRUE(GantryPeer().StaysQuiet(200)) << "only the missing chunk is asked for";
    Feed(chunks[1]);
    ExpectDescriptionHandedOver();
}

TEST_F(Gantry, TwoUnansweredReRequestRoundsEndInTimeout) {
    Feed(Hello(2));
    GantryPeer().Drain();
    for (int round = 0; round < 2; ++round) {
        Cycle(5000);
        for (uint16_t index : {0, 1}) {
            auto request = GantryPeer().Receive();
            ASSERT_TRUE(request);
            EXPECT_EQ(request->bytes, SendOne(index));
        }
        EXPECT_EQ(Status().gantryState, GANTRY_ANSWERED);
    }
    Cycle(5000);
    EXPECT_EQ(Status().gantryState, GANTRY_TIMEOUT);
    EXPECT_EQ(GantryStateText(Status(), true), "Timeout");
    Cycle(5000);
    EXPECT_TRUE(GantryPeer().StaysQuiet(200));
    auto outcome = state.WaitForGantryOutcome(0);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->state, GANTRY_TIMEOUT);
    EXPECT_FALSE(outcome->description);
}

TEST_F(Gantry, TransferCompletedByTheLastReRequestIsNotATimeout) {
    auto chunks = DescriptionChunks(DESCRIPTION, 2);
    Feed(Hello(2));
    Feed(chunks[0]);
    Cycle(5000);
    Cycle(5000); // second round sent
    Feed(chunks[1]);
    Cycle(5000);
    EXPECT_EQ(Status().gantryState, GANTRY_ANSWERED);
    ExpectDescriptionHandedOver();
}

TEST_F(Gantry, RefusedPasswordStopsTheExchange) {
    engine.ActivateGantry("wrong");
    engine.HandleMessage(QM_START, 0, 0);
    auto hello = GantryPeer().Receive();
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->bytes, std::string("\xC3\x03\x00\x00wrong\x00", 10));
    Feed(U16(0x8001) + U16(0));
    EXPECT_EQ(Status().gantryState, GANTRY_PASSWORD_REFUSED);
    EXPECT_EQ(GantryStateText(Status(), true), "Psw fail");
    GantryPeer().Drain();
    Cycle();
    Cycle();
    EXPECT_TRUE(GantryPeer().StaysQuiet(200));
    EXPECT_EQ(Status().gantryState, GANTRY_PASSWORD_REFUSED);
    // Chunks the refusing server sends anyway are not a description: nothing is taken or cached.
    for (const auto& chunk : DescriptionChunks(DESCRIPTION, GANTRY_DEFAULT_CHUNK_TOTAL))
        Feed(chunk);
    EXPECT_EQ(Status().gantryChunksReceived, 0);
    EXPECT_TRUE(std::filesystem::is_empty(cache.Path()));
}

TEST_F(Gantry, UnchangedTagIsServedFromTheCacheWithoutTraffic) {
    auto chunks = DescriptionChunks(DESCRIPTION, 4);
    ASSERT_TRUE(WriteFileBytes(CachePath(), OwnCacheBytes(chunks)));
    Feed(Hello(4));
    EXPECT_EQ(Status().gantryChunksReceived, 4);
    ExpectDescriptionHandedOver();
    EXPECT_TRUE(GantryPeer().StaysQuiet(200));
}

// A hostile server that repeats another server's tag and chunk count must not plant its
// description for it: each server's cache file is its own.
TEST_F(Gantry, AServerRepeatingAnotherServersTagGetsNothingFromItsCache) {
    const std::string hostile = "package evil http://evil.invalid/trojan.zip\n";
    auto hostileChunks = DescriptionChunks(hostile, 2);
    FakeGameServer other;
    ASSERT_TRUE(other.Open());
    engine.HandleMessage(QM_SET_SERVER, LoopbackAddress(), other.GamePort());
    engine.HandleMessage(QM_START, 0, 0);
    const auto feedOther = [&](const std::string& bytes) {
        engine.HandleDatagram(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                              LoopbackAddress(), uint16_t(other.GamePort() + 20));
    };
    feedOther(Hello(2));
    feedOther(hostileChunks[0]);
    feedOther(hostileChunks[1]);
    ASSERT_TRUE(state.WaitForGantryOutcome(0));

    // The real server, with the same tag and count, is asked for its own description.
    engine.HandleMessage(QM_SET_SERVER, LoopbackAddress(), server.GamePort());
    engine.HandleMessage(QM_START, 0, 0);
    {
        std::lock_guard guard(state.StatusLock());
        state.ResetForNewServer();
    }
    server.DrainAll();
    Feed(Hello(2));
    auto request = GantryPeer().Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->bytes, SEND_ALL);
    EXPECT_EQ(Status().gantryChunksReceived, 0);
    auto chunks = DescriptionChunks(DESCRIPTION, 2);
    Feed(chunks[0]);
    Feed(chunks[1]);
    ExpectDescriptionHandedOver();
}

// A cache file named by the tag alone says nothing of the server it came from: fetched again.
TEST_F(Gantry, CacheFileNamedByTheTagAloneIsNotUsed) {
    auto chunks = DescriptionChunks(DESCRIPTION, 2);
    ASSERT_TRUE(WriteFileBytes(cache / "1234abcdef.tmp", OldCacheBytes(chunks)));
    Feed(Hello(2));
    auto request = GantryPeer().Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->bytes, SEND_ALL);
    EXPECT_EQ(Status().gantryChunksReceived, 0);
}

// A cache file carries the server it belongs to: one of another server, another tag, or of the
// older form that names no server, lying under this server's name, is not trusted.
TEST_F(Gantry, ACacheFileOfAnotherServerOrWithoutOneIsNotTrusted) {
    auto chunks = DescriptionChunks(DESCRIPTION, 2);
    const std::vector<std::pair<std::string, std::string>> foreign = {
        {"another address",
         CacheBytes(chunks, GantryPort(), TAG, std::string("\x7f\x00\x00\x02", 4))},
        {"another Gantry port", CacheBytes(chunks, uint16_t(GantryPort() + 20))},
        {"another tag", CacheBytes(chunks, GantryPort(), TAG + 1)},
        {"no server inside", OldCacheBytes(chunks)},
    };
    for (const auto& [what, bytes] : foreign) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(WriteFileBytes(CachePath(), bytes));
        Restart();
        ExpectFetched(2);
    }
    Feed(chunks[0]);
    Feed(chunks[1]);
    ExpectDescriptionHandedOver();
    std::string rewritten;
    ASSERT_TRUE(ReadFileBytes(CachePath(), rewritten));
    EXPECT_EQ(rewritten, OwnCacheBytes(chunks)) << "the file is written anew with its server";
}

// A package archive whose URL ends in this server's cache name downloads beside the caches; the
// file it lands in is never one the engine reads as a description, even when its bytes are a
// perfect cache file for this server.
TEST_F(Gantry, ADownloadedArchiveNeverTakesTheNameOfACacheFile) {
    const std::string hostile = "package evil http://127.0.0.1/trojan.zip\n";
    const std::string cacheName = GantryCacheName({TAG, LoopbackAddress(), GantryPort()});
    const std::string stem = cacheName.substr(0, cacheName.rfind('.'));
    for (const std::string& last :
         {stem + ".zip", stem, cacheName, cacheName + ".zip", stem + ".tmp", "x." + cacheName}) {
        SCOPED_TRACE(last);
        const std::string temporary =
            CGantryClient::TemporaryName("http://127.0.0.1:41001/packs/" + last);
        EXPECT_NE(temporary, cacheName);
        EXPECT_FALSE(temporary.ends_with(".description"));
        // The planted file, named as the download would name it, is not read, in either form.
        const auto planted = DescriptionChunks(hostile, 2);
        for (const std::string& bytes : {OwnCacheBytes(planted), OldCacheBytes(planted)}) {
            ASSERT_TRUE(WriteFileBytes(cache / temporary, bytes));
            Restart();
            ExpectFetched(2);
        }
        std::filesystem::remove(cache / temporary);
    }
}

TEST_F(Gantry, DamagedCacheIsIgnoredAndTheDescriptionFetched) {
    auto chunks = DescriptionChunks(DESCRIPTION, 2);
    const std::string good = OwnCacheBytes(chunks);
    std::string badCrc = good;
    badCrc[CACHE_HEADER + 12] ^= 1;
    std::string bigSize = good;
    bigSize.replace(CACHE_HEADER + 4, 4, U32(0xFFFFFFF0));
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"truncated", good.substr(0, good.size() - 3)},
        {"trailing bytes", good + "x"},
        {"bad checksum", badCrc},
        {"size beyond the file", bigSize},
        {"other chunk count", OwnCacheBytes({chunks[0]})},
        {"chunks out of order", OwnCacheBytes({chunks[1], chunks[0]})},
        {"empty", ""},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(WriteFileBytes(CachePath(), bytes));
        engine.HandleMessage(QM_START, 0, 0);
        {
            std::lock_guard guard(state.StatusLock());
            state.ResetForNewServer();
        }
        server.DrainAll();
        Feed(Hello(2));
        auto request = GantryPeer().Receive();
        ASSERT_TRUE(request);
        EXPECT_EQ(request->bytes, SEND_ALL);
        EXPECT_EQ(Status().gantryChunksReceived, 0);
    }
    Feed(chunks[0]);
    Feed(chunks[1]);
    ExpectDescriptionHandedOver();
    std::string rewritten;
    ASSERT_TRUE(ReadFileBytes(CachePath(), rewritten));
    EXPECT_EQ(rewritten, good);
}

TEST_F(Gantry, ImpossibleHellosAndLateHellosAreIgnored) {
    Feed(Hello(0));
    Feed(Hello(MAX_GANTRY_CHUNKS + 1));
    EXPECT_EQ(Status().gantryState, GANTRY_UNKNOWN);
    EXPECT_TRUE(GantryPeer().StaysQuiet(200));

    Feed(Hello(2));
    Feed(Hello(5, 99), 40);
    EXPECT_EQ(Status().gantryChunkTotal, 2);
    // From the Gantry port, a 0x8000 datagram of another length is chunk 0x8000: ignored.
    Feed(Chunk(0x8000, "xx"));
    EXPECT_EQ(Status().gantryChunksReceived, 0);
    // Nor is text from the Gantry port a status reply.
    Feed("\\gamename\\ironval\\mapname\\G\\final\\\\queryid\\1.0");
    EXPECT_EQ(Status().map, "");
}

TEST_F(Gantry, OversizedOrBrokenDescriptionIsNotHandedOver) {
    const std::vector<std::string> payloads = {
        U32(0x7FFFFFFF) + "zlib data", // claims 2 GiB
        U32(100) + "not zlib at all",
        "ab", // too short for the length
    };
    for (const auto& payload : payloads) {
        engine.HandleMessage(QM_START, 0, 0);
        {
            std::lock_guard guard(state.StatusLock());
            state.ResetForNewServer();
        }
        Feed(Hello(1, TAG + payload.size()));
        Feed(Chunk(0, payload));
        auto outcome = state.WaitForGantryOutcome(0);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->state, GANTRY_ANSWERED);
        EXPECT_FALSE(outcome->description);
    }
}

TEST_F(Gantry, UnwritableCacheStillCompletesInMemoryAndLeavesNoFile) {
    const std::string missing = cache / "no-such-folder";
    engine.SetCacheFolder(missing);
    auto chunks = DescriptionChunks(DESCRIPTION, 2);
    Feed(Hello(2));
    Feed(chunks[1]);
    Feed(chunks[0]);
    ExpectDescriptionHandedOver();
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cache.Path()),
                            std::filesystem::directory_iterator()),
              0);
}
