// quillory-sim's public servers: many light game servers listed by its browser server, some
// of them silent.
#include "tests/sim/UdpClient.h"
#include "tests/support/SimRun.h"
#include "tools/sim/PublicSims.h"
#include "tools/sim/SimOptions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace quillory::test;
using namespace quillory::sim;

namespace {

const Bytes kSocketsProbe = {0x20, 0x00, 0x01, 0x08, 0x1B, 0xC9, 0xC2, 0xE9, 0x01, 0x00, 0x00,
                             0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x00, 0xAE, 0x91, 0xE1, 0xEE, 0x00, 0x00, 0x00, 0x00};
const Bytes kListRequest = {0xFD, 0xFF, 0xC3, 0x03, 0x34, 0x12};
const Bytes kStatusQuery = {'\\', 's', 't', 'a', 't', 'u', 's', '\\'};

struct Listed {
    std::string name;
    int port = 0;
    int players = 0;
    int flags = 0;
};

// The records of one list reply datagram, after its token.
std::vector<Listed> Records(const Bytes& b) {
    std::vector<Listed> out;
    size_t at = 2;
    while (at + 8 <= b.size()) {
        Listed l;
        l.port = b[at + 4] | (b[at + 5] << 8);
        l.players = b[at + 6];
        l.flags = b[at + 7];
        at += 8;
        while (at < b.size() && b[at] != 0)
            l.name += char(b[at++]);
        ++at;
        out.push_back(l);
    }
    return out;
}

SimCommandLine Parse(std::vector<std::string> args) {
    return ParseSimCommandLine(args);
}

} // namespace

TEST(SimPublicServers, OptionsNeedTheBrowserAndStayWithinTheirRange) {
    struct Case {
        std::vector<std::string> args;
        const char* error; // empty: accepted
    } cases[] = {
        {{"--public-sims", "3"}, "--public-sims, --public-silent and --public-base need --browser"},
        {{"--public-silent", "1"},
         "--public-sims, --public-silent and --public-base need --browser"},
        {{"--browser", "--public-sims", "600", "--public-silent", "401"},
         "at most 1000 public servers in all"},
        {{"--browser", "--public-base", "65530", "--public-sims", "4"},
         "--public-base leaves too few ports for the public servers"},
        {{"--browser", "--public-base", "65530", "--public-sims", "3"}, ""}, // up to 65535
        {{"--browser", "--public-sims", "1000"}, ""},
        {{"--browser", "--public-base", "40000", "--public-sims", "2", "--public-silent", "2"}, ""},
    };
    for (const Case& c : cases) {
        const SimCommandLine line = Parse(c.args);
        EXPECT_EQ(line.error, c.error) << c.args[1];
        EXPECT_EQ(line.options.has_value(), std::string(c.error).empty());
    }
    EXPECT_NE(Parse({"--browser", "--public-sims", "1001"}).error, "");
}

TEST(SimPublicServers, EveryFilterOfTheBrowserHasServersToActOn) {
    SimOptions base;
    std::set<std::string> names;
    int empty = 0, full = 0, locked = 0, baseGame = 0;
    std::set<std::string> maps, missions;
    for (size_t i = 0; i < 60; ++i) {
        const SimOptions o = PublicSimOptions(base, i);
        names.insert(o.name);
        maps.insert(o.map);
        missions.insert(o.mission);
        empty += o.players == 0;
        full += o.players == o.maxPlayers;
        locked += o.locked;
        baseGame += o.version < 175;
        EXPECT_LE(o.players, o.maxPlayers);
        EXPECT_EQ(o.version < 175, o.gameType == "ironval");
    }
    EXPECT_EQ(names.size(), 60u);
    EXPECT_GT(maps.size(), 3u);
    EXPECT_GT(missions.size(), 3u);
    EXPECT_GT(empty, 0);
    EXPECT_GT(full, 0);
    EXPECT_GT(locked, 0);
    EXPECT_GT(baseGame, 0);
    EXPECT_LT(empty + full + locked + baseGame, 60);
}

TEST(SimPublicServers, ListedServersAnswerAndSilentOnesDoNot) {
    CSimRun probe({}); // only for a free block of ports, then stopped
    ASSERT_TRUE(probe.Listening());
    const int block = probe.Port();
    probe.Stop();
    const int base = block + 10;
    CSimRun sim({"--browser", "--browser-port", CSimRun::kBrowserPort, "--browser-no-self",
                 "--public-sims", "3", "--public-silent", "1", "--public-base",
                 std::to_string(base)});
    ASSERT_TRUE(sim.Listening()) << sim.ListeningLine();

    CUdpClient client;
    const auto reply = client.Ask(sim.BrowserPort(), kListRequest);
    ASSERT_TRUE(reply);
    const auto records = Records(reply->bytes);
    ASSERT_EQ(records.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(records[i].port, base + 2 * i) << i;
    EXPECT_EQ(records[0].name, "Public Server 1");
    EXPECT_EQ(records[3].name, "Silent Server 1");

    for (int i = 0; i < 3; ++i) {
        const int port = records[i].port;
        EXPECT_TRUE(client.Ask(port, kSocketsProbe)) << "game port " << port;
        const auto status = client.Ask(port + 1, kStatusQuery);
        ASSERT_TRUE(status) << "query port " << port + 1;
        EXPECT_NE(status->Text().find("\\hostname\\Public Server " + std::to_string(i + 1)),
                  std::string::npos)
            << status->Text();
    }
    const int silent = records[3].port;
    EXPECT_TRUE(client.Send(silent, kSocketsProbe));
    EXPECT_TRUE(client.Send(silent + 1, kStatusQuery));
    EXPECT_FALSE(client.Receive(std::chrono::milliseconds(500)));
}
