// The engine as a browser-server client: the request bytes, and which replies change the news
// and the public servers. Exchanges run against a fake browser server on loopback.
#include "net/BrowserHost.h"
#include "net/ServerQuery.h"
#include "tests/support/FakeUdpPeer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_set>

using namespace quillory;
using namespace quillory::test;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t QUIET_MS = 300;

std::string Word(uint16_t v) {
    return std::string{char(v & 0xFF), char(v >> 8)};
}

// A news reply: the token, two unused bytes, then the texts as given (terminators included).
std::string NewsReply(uint16_t token, const std::string& texts) {
    return Word(token) + std::string("\x7F\x7F", 2) + texts;
}

std::string Z(const std::string& text) {
    return text + std::string(1, '\0');
}

// One list record: address bytes a.b.c.d, port, players, flags, then the name as given.
std::string Record(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port, uint8_t players,
                   uint8_t flags, const std::string& name) {
    return std::string{char(a), char(b), char(c), char(d)} + Word(port) +
           std::string{char(players), char(flags)} + name;
}

uint32_t Address(const char* dotted) {
    return inet_addr(dotted);
}

struct RequestCase {
    uint32_t tick;
    std::string news;
    std::string list;
};

} // namespace

TEST(BrowserRequest, BytesAndTokens) {
    const RequestCase cases[] = {
        // token 0x0010, high word 2, check ((0x3C3 + 0x10 + 2) * 5) ^ 0xAAAA
        {0x00020010u, std::string("\xC3\x03\x10\x00\x02\x00\x83\xB9", 8),
         std::string("\xFD\xFF\xC3\x03\x44\x12", 6)},
        // a low word of 0 becomes token 1
        {0x00070000u, std::string("\xC3\x03\x01\x00\x07\x00\x5D\xB8", 8),
         std::string("\xFD\xFF\xC3\x03\x34\x12", 6)},
        // the sum wraps at 16 bits before the exclusive-or; the list token wraps too
        {0xFFFFFFFFu, std::string("\xC3\x03\xFF\xFF\xFF\xFF\x6F\xB8", 8),
         std::string("\xFD\xFF\xC3\x03\x33\x12", 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tick);
        const auto news = NewsRequest(c.tick);
        const auto list = ServerListRequest(c.tick);
        EXPECT_EQ(std::string(news.begin(), news.end()), c.news);
        EXPECT_EQ(std::string(list.begin(), list.end()), c.list);
    }
}

TEST(BrowserReplyParse, NewsTextsMissingAtTheEndReadAsEmpty) {
    struct Case {
        std::string bytes;
        BrowserNews expected;
    };
    const Case cases[] = {
        {NewsReply(7, Z("Hello") + Z("Get it") + Z("http://h/q.ozp")),
         {"Hello", "Get it", "http://h/q.ozp", false}},
        {NewsReply(7, Z("Hello") + "Get"), {"Hello", "Get", "", false}},
        {NewsReply(7, ""), {"", "", "", false}},
        {Word(7), {"", "", "", false}},
        {Word(7) + "x", {"", "", "", false}},
    };
    for (const auto& c : cases) {
        const BrowserNews news =
            ParseNewsReply(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
        EXPECT_EQ(news.text, c.expected.text);
        EXPECT_EQ(news.link, c.expected.link);
        EXPECT_EQ(news.upgradeFile, c.expected.upgradeFile);
    }
}

TEST(BrowserReplyParse, ListRecordsCutShortEndTheReply) {
    const std::string bytes = Word(9) + Record(127, 10, 0, 1, 2302, 5, 1, Z("Alpha")) +
                              Record(127, 10, 0, 2, 0x1234, 0, 0, Z("")) +
                              Record(127, 168, 1, 9, 2402, 255, 3, "No terminator");
    const auto servers =
        ParseServerListReply(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_EQ(servers.size(), 3u);
    EXPECT_EQ(servers[0].name, "Alpha");
    EXPECT_EQ(servers[0].address, Address("127.10.0.1"));
    EXPECT_EQ(servers[0].port, 2302);
    EXPECT_EQ(servers[0].players, 5);
    EXPECT_EQ(servers[0].flags, 1);
    EXPECT_EQ(servers[1].name, "");
    EXPECT_EQ(servers[1].port, 0x1234);
    EXPECT_EQ(servers[2].name, "No terminator");
    EXPECT_EQ(servers[2].address, Address("127.168.1.9"));
    EXPECT_EQ(servers[2].players, 255);
    EXPECT_EQ(PublicServerAddress(servers[0]), "127.10.0.1:2302");
    EXPECT_EQ(PublicServerAddress(servers[2]), "127.168.1.9:2402");

    // Seven bytes of a record are not a record.
    const std::string cut = Word(9) + Record(127, 10, 0, 1, 2302, 5, 1, Z("Alpha")) +
                            Record(127, 10, 0, 3, 2302, 5, 1, "").substr(0, 7);
    EXPECT_EQ(ParseServerListReply(reinterpret_cast<const uint8_t*>(cut.data()), cut.size()).size(),
              1u);
}

TEST(BrowserReplyParse, UpgradeArchiveInAnyCase) {
    EXPECT_TRUE(IsUpgradeArchive("quillory.OZP"));
    EXPECT_TRUE(IsUpgradeArchive("http://h/quillory.ozp"));
    EXPECT_FALSE(IsUpgradeArchive("http://h/quillory.zip"));
    EXPECT_FALSE(IsUpgradeArchive("ozp"));
    EXPECT_FALSE(IsUpgradeArchive(""));
}

namespace {

// The engine on its thread; `browser` plays the browser server, `stranger` a host that
// answers from another address with the browser's port.
class BrowserExchange : public ::testing::Test {
protected:
    FakeUdpPeer browser;
    FakeUdpPeer sideDoor; // the browser's address, another port
    FakeUdpPeer stranger; // another address, the browser's port
    CWatchState state;
    std::atomic<uint32_t> now{0x00030040};
    std::unique_ptr<CServerQuery> engine;

    void SetUp() override {
        ASSERT_TRUE(browser.Open());
        ASSERT_TRUE(sideDoor.Open());
        if (!stranger.Open(browser.Port(), Address("127.0.0.2")))
            GTEST_SKIP() << "127.0.0.2 cannot be bound here";
        engine = std::make_unique<CServerQuery>(state, [this] { return now.load(); });
        ASSERT_TRUE(engine->Create(0, 0, LoopbackAddress()));
        ASSERT_TRUE(engine->Start());
    }

    // Posts a request and returns the token it carries.
    uint16_t Ask(uint32_t code) {
        engine->Post(code, LoopbackAddress(), browser.Port());
        auto request = browser.Receive();
        EXPECT_TRUE(request.has_value());
        if (!request)
            return 0;
        const std::string& b = request->bytes;
        const size_t at = code == QM_QUERY_NEWS ? 2 : 4;
        return uint16_t(uint8_t(b.at(at)) | (uint8_t(b.at(at + 1)) << 8));
    }

    bool WaitFor(const std::function<bool(const CWatchState&)>& condition) {
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

    // Sends `bytes` from `peer`, then a marker news reply from the browser; once the marker is
    // in, whatever `peer` sent has been handled too (datagrams on loopback keep their order
    // per socket pair, and the marker goes after).
    void SendThenSettle(FakeUdpPeer& peer, const std::string& bytes, uint16_t newsToken) {
        uint32_t before = 0;
        {
            std::lock_guard guard(state.StatusLock());
            before = state.newsReplies;
        }
        peer.Send(engine->LocalPort(), bytes);
        std::this_thread::sleep_for(std::chrono::milliseconds(QUIET_MS));
        browser.Send(engine->LocalPort(), NewsReply(newsToken, Z("marker")));
        ASSERT_TRUE(WaitFor([&](const CWatchState& s) { return s.newsReplies > before; }));
    }

    BrowserNews News() { return state.Snapshot().news; }
};

} // namespace

TEST_F(BrowserExchange, NewsReplyFillsTheNewsAndAnOzpInCapitalsOffersTheUpgrade) {
    const uint16_t token = Ask(QM_QUERY_NEWS);
    EXPECT_EQ(token, 0x0040);
    browser.Send(engine->LocalPort(),
                 NewsReply(token, Z("Version 2 is out") + Z("Upgrade now") + Z("quillory.OZP")));
    ASSERT_TRUE(WaitFor([](const CWatchState& s) { return s.newsReplies == 1; }));
    const BrowserNews news = News();
    EXPECT_EQ(news.text, "Version 2 is out");
    EXPECT_EQ(news.link, "Upgrade now");
    EXPECT_EQ(news.upgradeFile, "quillory.OZP");
    EXPECT_TRUE(news.upgradeOffered);

    // A later datagram of the same reply without an archive does not clear the offer.
    browser.Send(engine->LocalPort(), NewsReply(token, Z("More") + Z("Site") + Z("http://h/")));
    ASSERT_TRUE(WaitFor([](const CWatchState& s) { return s.newsReplies == 2; }));
    EXPECT_EQ(News().upgradeFile, "http://h/");
    EXPECT_TRUE(News().upgradeOffered);

    // Pressing Link stops the blink; a reply without an archive does not start it again.
    state.ClearUpgradeOffered();
    browser.Send(engine->LocalPort(), NewsReply(token, Z("Again") + Z("Site") + Z("http://h/")));
    ASSERT_TRUE(WaitFor([](const CWatchState& s) { return s.newsReplies == 3; }));
    EXPECT_EQ(News().text, "Again");
    EXPECT_FALSE(News().upgradeOffered);
}

TEST_F(BrowserExchange, RepliesWithAnotherTokenOrFromAnotherEndpointChangeNothing) {
    const uint16_t token = Ask(QM_QUERY_NEWS);
    const std::string pushed = NewsReply(token, Z("Pushed") + Z("Run me") + Z("evil.ozp"));
    SendThenSettle(browser, NewsReply(uint16_t(token + 1), Z("Wrong token")), token);
    SendThenSettle(stranger, pushed, token);
    SendThenSettle(sideDoor, pushed, token);
    const BrowserNews news = News();
    EXPECT_EQ(news.text, "marker");
    EXPECT_FALSE(news.upgradeOffered);
    std::lock_guard guard(state.StatusLock());
    EXPECT_EQ(state.newsReplies, 3u) << "only the markers were taken";
}

TEST_F(BrowserExchange, ListReplyDropsDuplicatesAndIgnoresTheOldToken) {
    const uint16_t newsToken = Ask(QM_QUERY_NEWS);
    now += 5;
    const uint16_t oldToken = Ask(QM_QUERY_SERVER_LIST);
    now += 7;
    const uint16_t token = Ask(QM_QUERY_SERVER_LIST);
    ASSERT_NE(oldToken, token);
    EXPECT_EQ(token, uint16_t(0x0040 + 12 + 0x1234));

    SendThenSettle(browser, Word(oldToken) + Record(127, 10, 0, 9, 1, 1, 1, Z("Old")), newsToken);
    SendThenSettle(stranger, Word(token) + Record(127, 10, 0, 8, 1, 1, 1, Z("Stranger")),
                   newsToken);
    browser.Send(engine->LocalPort(), Word(token) + Record(127, 10, 0, 1, 2302, 4, 1, Z("Alpha")) +
                                          Record(127, 10, 0, 1, 2302, 6, 0, Z("Alpha again")));
    browser.Send(engine->LocalPort(), Word(token) + Record(127, 10, 0, 1, 2402, 0, 0, Z("Beta")) +
                                          Record(127, 10, 0, 1, 2302, 6, 0, Z("Alpha third")));
    ASSERT_TRUE(WaitFor([](const CWatchState& s) { return s.publicServers.size() == 2; }));
    SendThenSettle(browser, NewsReply(newsToken, ""), newsToken);

    HandleArray<PublicServer> taken;
    EXPECT_EQ(state.TakePublicServers(taken), 2u);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0]->name, "Alpha");
    EXPECT_EQ(taken[0]->players, 4);
    EXPECT_EQ(taken[1]->name, "Beta");
    EXPECT_EQ(taken[1]->port, 2402);

    // Taken out: the same server again arrives anew, but the taker keeps one of each.
    browser.Send(engine->LocalPort(), Word(token) + Record(127, 10, 0, 1, 2302, 9, 1, Z("Alpha")) +
                                          Record(127, 10, 0, 5, 2302, 2, 1, Z("Gamma")));
    ASSERT_TRUE(WaitFor([](const CWatchState& s) { return s.publicServers.size() == 2; }));
    EXPECT_EQ(state.TakePublicServers(taken), 1u);
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[2]->name, "Gamma");
    std::lock_guard guard(state.StatusLock());
    EXPECT_TRUE(state.publicServers.empty());
}

TEST_F(BrowserExchange, NoRequestNoReplyTaken) {
    // Nothing was asked: a reply from the browser's endpoint with any token is a stray.
    for (uint16_t token : {uint16_t(0), uint16_t(1), uint16_t(0x0040)})
        browser.Send(engine->LocalPort(), NewsReply(token, Z("Unasked") + Z("x") + Z("a.ozp")));
    std::this_thread::sleep_for(std::chrono::milliseconds(QUIET_MS));
    std::lock_guard guard(state.StatusLock());
    EXPECT_EQ(state.newsReplies, 0u);
    EXPECT_TRUE(state.news.text.empty());
}

// A browser server that floods: 3,000 list datagrams of 20 records, each repeating the first
// server and naming 19 more. Every record is one look-up, and no more than 10,000 servers are
// kept, here and in the taker's list; the rest are counted as dropped.
TEST(BrowserListFlood, KeepsTenThousandDistinctServersAndCountsTheRest) {
    constexpr uint32_t TICK = 0x00051234;
    CWatchState state;
    CServerQuery engine(state, [] { return TICK; });
    engine.HandleMessage(QM_QUERY_SERVER_LIST, LoopbackAddress(), BROWSER_SERVER_PORT);
    const uint16_t token = ServerListToken(TICK);
    const auto flood = [&](uint32_t first) {
        for (uint32_t i = 0; i < 3000; ++i) {
            std::string bytes = Word(token) + Record(127, 0, 0, 1, 2302, 1, 1, Z("Same"));
            for (uint32_t j = 0; j < 19; ++j) {
                const uint32_t n = first + i * 19 + j;
                bytes += Record(127, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 2400, 0, 1,
                                Z("S" + std::to_string(n)));
            }
            engine.HandleDatagram(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  LoopbackAddress(), BROWSER_SERVER_PORT);
        }
    };
    flood(1);
    const auto keysOf = [](const HandleArray<PublicServer>& servers) {
        std::unordered_set<uint64_t> keys;
        for (const auto& server : servers)
            keys.insert((uint64_t(server->address) << 16) | server->port);
        return keys.size();
    };
    {
        std::lock_guard guard(state.StatusLock());
        EXPECT_EQ(state.serverListReplies, 3000u);
        ASSERT_EQ(state.publicServers.size(), 10000u);
        EXPECT_EQ(keysOf(state.publicServers), 10000u);
        EXPECT_EQ(state.publicServers[0]->name, "Same");
        // 57,001 distinct servers were named; the repeats of the first one are no loss.
        EXPECT_EQ(state.publicServersDropped, 57001u - 10000u);
    }
    HandleArray<PublicServer> taken;
    EXPECT_EQ(state.TakePublicServers(taken), 10000u);
    // A second flood of new servers: the taker's list is full and stays one of each.
    flood(100000);
    EXPECT_EQ(state.TakePublicServers(taken), 0u);
    EXPECT_EQ(taken.size(), 10000u);
    EXPECT_EQ(keysOf(taken), 10000u);
    std::lock_guard guard(state.StatusLock());
    EXPECT_EQ(state.publicServersDropped, 2 * (57001u - 10000u) + 9999u);
    EXPECT_TRUE(state.publicServers.empty());
}
