// quillory-sim as a game server, seen byte by byte from a client of the test's own.

#include "tests/sim/UdpClient.h"
#include "tests/support/SimRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace quillory::test;

namespace {

const Bytes kSocketsProbe = {0x20, 0x00, 0x01, 0x08, 0x1B, 0xC9, 0xC2, 0xE9, 0x01, 0x00, 0x00,
                             0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x00, 0xAE, 0x91, 0xE1, 0xEE, 0x00, 0x00, 0x00, 0x00};
const Bytes kDirectPlayProbe = {0x00, 0x02, 0xC4, 0xE2, 0x01, 0x60, 0x98, 0x24, 0xF7, 0xBE, 0xD0,
                                0xD2, 0x11, 0x95, 0xEA, 0x00, 0xA0, 0xC9, 0xA5, 0x7F, 0x0B};
const std::string kStatusQuery = "\\status\\";

struct StatusReply {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string Value(const std::string& key) const {
        for (const auto& [k, v] : pairs)
            if (k == key)
                return v;
        return "<absent>";
    }
    int PlayerCount() const {
        return int(std::count_if(pairs.begin(), pairs.end(),
                                 [](const auto& p) { return p.first.rfind("player_", 0) == 0; }));
    }
};

// Splits "\k\v\k\v..." into its pairs.
std::vector<std::pair<std::string, std::string>> SplitPairs(const std::string& text) {
    std::vector<std::string> tokens;
    size_t at = 1;
    while (at <= text.size()) {
        size_t next = text.find('\\', at);
        if (next == std::string::npos)
            next = text.size();
        tokens.push_back(text.substr(at, next - at));
        at = next + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i + 1 < tokens.size(); i += 2)
        pairs.emplace_back(tokens[i], tokens[i + 1]);
    return pairs;
}

struct Fragment {
    std::string id;
    int number = -1;
    std::string body; // the text before the queryid pair
};

Fragment ReadFragment(const std::string& text) {
    Fragment f;
    const std::string mark = "\\queryid\\";
    size_t at = text.rfind(mark);
    if (at == std::string::npos)
        return f;
    std::string idText = text.substr(at + mark.size());
    size_t dot = idText.rfind('.');
    if (dot == std::string::npos)
        return f;
    f.id = idText.substr(0, dot);
    f.number = std::stoi(idText.substr(dot + 1));
    f.body = text.substr(0, at);
    return f;
}

// Asks for the status and collects the datagrams of one reply, in arrival order.
std::vector<Fragment> AskStatus(CUdpClient& client, int queryPort, size_t expected) {
    std::vector<Fragment> got;
    client.Send(queryPort, kStatusQuery);
    while (got.size() < expected) {
        auto d = client.Receive(5s);
        if (!d)
            break;
        EXPECT_EQ(d->fromPort, queryPort);
        got.push_back(ReadFragment(d->Text()));
    }
    return got;
}

StatusReply Join(std::vector<Fragment> fragments) {
    std::sort(fragments.begin(), fragments.end(),
              [](const Fragment& a, const Fragment& b) { return a.number < b.number; });
    std::string joined;
    for (const Fragment& f : fragments)
        joined += f.body;
    EXPECT_EQ(joined.rfind("\\gamename\\", 0), 0u) << joined;
    EXPECT_NE(joined.find("\\final\\"), std::string::npos) << joined;
    return StatusReply{SplitPairs(joined)};
}

// Players from the enumeration reply and from the status reply, asked for together until both
// fall in the same second of the round.
template <typename F> void ExpectSamePlayers(CUdpClient& client, int queryPort, F enumPlayers) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const uint32_t before = enumPlayers();
        StatusReply status = Join(AskStatus(client, queryPort, 1));
        if (before == enumPlayers()) {
            EXPECT_EQ(status.PlayerCount(), int(before));
            EXPECT_EQ(status.Value("numplayers"), std::to_string(before));
            return;
        }
    }
    ADD_FAILURE() << "the player count never held still";
}

} // namespace

TEST(SimServer, SocketsReplyCarriesTheServerFacts) {
    CSimRun sim({"--impl", "sockets", "--name", "Night Watch", "--mission", "Dawn Patrol",
                 "--version", "201", "--required-version", "199", "--password-flag", "--players",
                 "5", "--max-players", "10"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    CUdpClient client;
    auto reply = client.Ask(sim.Port(), kSocketsProbe);
    ASSERT_TRUE(reply);
    const Bytes& b = reply->bytes;
    EXPECT_EQ(reply->fromPort, sim.Port());
    ASSERT_GT(b.size(), 344u);
    EXPECT_EQ(U16At(b, 0), b.size());
    EXPECT_EQ(TextAt(b, 28, 256), "Night Watch");
    EXPECT_EQ(U32At(b, 284), 201u);
    EXPECT_EQ(U32At(b, 288), 199u);
    EXPECT_EQ(TextAt(b, 292, 40), "Dawn Patrol");
    EXPECT_EQ(U32At(b, 332), 6u); // every run starts Waiting
    EXPECT_EQ(b[340] & 1, 1);
    ExpectSamePlayers(client, sim.Port() + 1, [&] {
        auto again = client.Ask(sim.Port(), kSocketsProbe);
        return again ? U32At(again->bytes, 344) : 0u;
    });
}

TEST(SimServer, DirectPlayReplyCarriesTheServerFacts) {
    CSimRun sim({"--impl", "directplay", "--name", "For\xC3\xAAt \xE2\x82\xAC", "--mission",
                 "Dawn Patrol", "--version", "201", "--required-version", "199", "--players", "3"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    CUdpClient client;
    auto reply = client.Ask(sim.Port(), kDirectPlayProbe);
    ASSERT_TRUE(reply);
    const Bytes& b = reply->bytes;
    ASSERT_GE(b.size(), 146u);
    EXPECT_NE(U16At(b, 0), b.size()); // never mistaken for a Sockets reply
    EXPECT_EQ(U16At(b, 2), 0xE2C4);
    EXPECT_EQ(b[16] & 0x80, 0);
    EXPECT_EQ(U32At(b, 92), 201u);
    EXPECT_EQ(U32At(b, 96), 199u);
    EXPECT_EQ(TextAt(b, 100, 40), "Dawn Patrol");
    EXPECT_EQ(U32At(b, 140), 6u);
    const std::vector<uint16_t> name = {'F', 'o', 'r', 0xEA, 't', ' ', 0x20AC, 0};
    ASSERT_EQ(b.size(), 144 + 2 * name.size());
    for (size_t i = 0; i < name.size(); ++i)
        EXPECT_EQ(U16At(b, 144 + 2 * i), name[i]) << "unit " << i;
    // The session counts two players more than are logged on.
    ExpectSamePlayers(client, sim.Port() + 1, [&] {
        auto again = client.Ask(sim.Port(), kDirectPlayProbe);
        return again ? U32At(again->bytes, 24) - 2 : 0u;
    });
}

TEST(SimServer, AnswersOnlyTheProbeOfItsImplementation) {
    struct Case {
        const char* impl;
        const Bytes* foreign;
        const Bytes* own;
    } cases[] = {{"sockets", &kDirectPlayProbe, &kSocketsProbe},
                 {"directplay", &kSocketsProbe, &kDirectPlayProbe}};
    for (const Case& c : cases) {
        CSimRun sim({"--impl", c.impl});
        ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
        CUdpClient client;
        // Replies come back in the order of the requests, so an answer to the foreign probe
        // would arrive before the answer to the own one.
        client.Send(sim.Port(), *c.foreign);
        client.Send(sim.Port(), Bytes{1, 2, 3});
        auto reply = client.Ask(sim.Port(), *c.own);
        ASSERT_TRUE(reply) << c.impl;
        EXPECT_EQ(reply->bytes.size() == 348, std::string(c.impl) == "sockets") << c.impl;
    }
}

TEST(SimServer, StatusReplySplitAndShuffledHoldsEveryPair) {
    CSimRun sim({"--fragments", "5", "--shuffle", "--players", "6", "--max-players", "12", "--map",
                 "Eastmarch", "--game-type", "ironvalu", "--param1", "coop", "--param2", "hard",
                 "--platform", "win", "--seed", "11"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    CUdpClient client;
    std::vector<Fragment> fragments = AskStatus(client, sim.Port() + 1, 5);
    ASSERT_EQ(fragments.size(), 5u);
    std::vector<int> arrival;
    for (const Fragment& f : fragments) {
        EXPECT_EQ(f.id, fragments[0].id);
        arrival.push_back(f.number);
    }
    EXPECT_FALSE(std::is_sorted(arrival.begin(), arrival.end()));
    std::sort(arrival.begin(), arrival.end());
    EXPECT_EQ(arrival, (std::vector<int>{0, 1, 2, 3, 4}));

    StatusReply status = Join(fragments);
    EXPECT_EQ(status.Value("gamename"), "ironvalu");
    EXPECT_EQ(status.Value("mapname"), "Eastmarch");
    EXPECT_EQ(status.Value("maxplayers"), "14"); // two more than can play, as the game says
    EXPECT_EQ(status.Value("param1"), "coop");
    EXPECT_EQ(status.Value("param2"), "hard");
    EXPECT_EQ(status.Value("platform"), "win");
    EXPECT_EQ(status.Value("timeleft"), "15"); // between rounds the game knows no time left
    EXPECT_EQ(status.Value("numplayers"), std::to_string(status.PlayerCount()));
    // Each player is four pairs in a row: name, one more, score, deaths.
    for (size_t i = 0; i < status.pairs.size(); ++i) {
        if (status.pairs[i].first.rfind("player_", 0) != 0)
            continue;
        ASSERT_LT(i + 3, status.pairs.size());
        const std::string n = status.pairs[i].first.substr(7);
        EXPECT_EQ(status.pairs[i + 2].first, "score_" + n);
        EXPECT_EQ(status.pairs[i + 3].first, "deaths_" + n);
    }
    // A new query gets a new id.
    std::vector<Fragment> again = AskStatus(client, sim.Port() + 1, 5);
    ASSERT_FALSE(again.empty());
    EXPECT_NE(again[0].id, fragments[0].id);
}

TEST(SimServer, GoesThroughTheRoundInOrder) {
    CSimRun sim({"--round-seconds", "2", "--phase-seconds", "2"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    CUdpClient client;
    std::vector<uint32_t> seen;
    const std::vector<uint32_t> round = {6, 12, 13, 14, 9, 6};
    auto sawRound = [&] {
        if (auto reply = client.Ask(sim.Port(), kSocketsProbe)) {
            const uint32_t state = U32At(reply->bytes, 332);
            if (seen.empty() || seen.back() != state)
                seen.push_back(state);
        }
        return std::search(seen.begin(), seen.end(), round.begin(), round.end()) != seen.end();
    };
    EXPECT_TRUE(WaitFor(sawRound, 60s)) << ::testing::PrintToString(seen);
}

TEST(SimServer, StopsCleanlyOnSigterm) {
    CSimRun sim({});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    EXPECT_EQ(sim.ListeningLine(), "quillory-sim: game port " + std::to_string(sim.Port()) +
                                       ", query port " + std::to_string(sim.Port() + 1) +
                                       " on 127.0.0.1");
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimServer, BusyPortIsAFailureToStart) {
    CSimRun first({});
    ASSERT_TRUE(first.Listening());
    ProgramResult second = RunProgram(QUILLORY_SIM_PATH, {"--port", std::to_string(first.Port())});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("cannot listen on game port"), std::string::npos) << second.err;
}

TEST(SimCommandLine, BadCommandLinesExitTwoWithTheReason) {
    struct Case {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "0"}, "bad value '0' for --port"},
        {{"--port", "12x"}, "bad value '12x' for --port"},
        {{"--impl", "ipx"}, "bad value 'ipx' for --impl"},
        {{"--fragments", "33"}, "bad value '33' for --fragments"},
        {{"--players", "9", "--max-players", "8"}, "--players must not exceed --max-players"},
        {{"--mission", std::string(40, 'm')}, "--mission is longer than 39 characters"},
        {{"--map", "a\\b"}, "--map must not contain a backslash"},
        {{"--address", "localhost"}, "--address must be a dotted IPv4 address"},
        {{"--query-port", "2302"}, "--query-port must differ from the game port"},
        {{"--http-port", "8080"}, "need --gantry DIR"},
        {{"--gantry", "/tmp", "--gantry-offset", "30"}, "bad value '30' for --gantry-offset"},
        {{"--gantry", "/tmp", "--port", "65530"}, "no room for the Gantry port"},
        {{"--gantry", "/nonexistent/quillory"}, "not a folder"},
    };
    for (const Case& c : cases) {
        ProgramResult r = RunProgram(QUILLORY_SIM_PATH, c.args);
        EXPECT_EQ(r.exitCode, 2) << c.reason;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(SimCommandLine, HelpNamesEveryOption) {
    ProgramResult r = RunProgram(QUILLORY_SIM_PATH, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option : {"--address",       "--port",
                               "--query-port",    "--impl",
                               "--fragments",     "--shuffle",
                               "--seed",          "--round-seconds",
                               "--phase-seconds", "--name",
                               "--mission",       "--map",
                               "--game-type",     "--platform",
                               "--param1",        "--param2",
                               "--version",       "--required-version",
                               "--password-flag", "--players",
                               "--max-players",   "--verbose",
                               "--gantry",        "--gantry-password",
                               "--gantry-offset", "--gantry-chunk-size",
                               "--gantry-drop",   "--gantry-drop-always",
                               "--http-base",     "--http-port",
                               "--http-fail",     "--http-cut",
                               "--http-rate"})
        EXPECT_NE(r.out.find(std::string("  ") + option + " "), std::string::npos) << option;
}
