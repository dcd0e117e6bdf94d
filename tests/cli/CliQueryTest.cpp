// quillory-cli query and watch against quillory-sim on loopback.

#include "tests/support/SimRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <set>
#include <sstream>

using namespace quillory::test;
using nlohmann::json;

namespace {

ProgramResult Cli(const std::vector<std::string>& args, std::chrono::milliseconds timeout = 60s) {
    return RunProgram(QUILLORY_CLI_PATH, args, timeout);
}

// The player count comes from the session probe and the list from the status query; a player
// who joins between the two makes them differ, so ask again until they agree.
json QueryUntilPlayersAgree(const std::string& address) {
    json reply;
    for (int attempt = 0; attempt < 5; ++attempt) {
        ProgramResult r = Cli({"query", "--json", "--timeout", "20000", address});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        reply = json::parse(r.out, nullptr, false);
        if (!reply.is_discarded() && reply["players"] == reply["playerList"].size())
            return reply;
    }
    ADD_FAILURE() << "players never matched the player list: " << reply.dump();
    return reply;
}

std::vector<json> JsonLines(const std::string& out) {
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line, nullptr, false));
    return lines;
}

// Where each game state stands in a round.
int RoundPosition(int state) {
    const int order[] = {6, 12, 13, 14, 9};
    for (int i = 0; i < 5; ++i)
        if (order[i] == state)
            return i;
    return -1;
}

} // namespace

TEST(EndToEndQuery, JsonCarriesWhatTheSimulatorSays) {
    struct Case {
        const char* impl;
        const char* fragments;
        const char* implementation;
    } cases[] = {{"sockets", "1", "Sockets"}, {"directplay", "6", "DirectPlay"}};
    for (const Case& c : cases) {
        // A long first phase, so the whole test sees the server Waiting.
        CSimRun sim({"--impl",        c.impl,
                     "--fragments",   c.fragments,
                     "--shuffle",     "--phase-seconds",
                     "600",           "--name",
                     "Vale Coop",     "--mission",
                     "Night Raid",    "--map",
                     "Eastmarch",     "--game-type",
                     "ironvalu",      "--platform",
                     "win",           "--param1",
                     "coop",          "--param2",
                     "hard",          "--version",
                     "201",           "--required-version",
                     "199",           "--password-flag",
                     "--players",     "7",
                     "--max-players", "10"});
        ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
        json q = QueryUntilPlayersAgree(sim.Address());
        std::set<std::string> keys;
        for (const auto& item : q.items())
            keys.insert(item.key());
        EXPECT_EQ(keys, (std::set<std::string>{"description", "mission", "players", "maxPlayers",
                                               "version", "requiredVersion", "state", "status",
                                               "port", "ping", "locked", "implementation",
                                               "gameType", "map", "timeLeft", "param1", "param2",
                                               "platform", "playerList"}));
        EXPECT_EQ(q["description"], "Vale Coop");
        EXPECT_EQ(q["mission"], "Night Raid");
        EXPECT_EQ(q["maxPlayers"], "10");
        EXPECT_EQ(q["version"], 201);
        EXPECT_EQ(q["requiredVersion"], 199);
        EXPECT_EQ(q["state"], 6);
        EXPECT_EQ(q["status"], "Waiting");
        EXPECT_EQ(q["port"], sim.Port());
        EXPECT_EQ(q["locked"], true);
        EXPECT_EQ(q["implementation"], c.implementation);
        EXPECT_EQ(q["gameType"], "ironvalu");
        EXPECT_EQ(q["map"], "Eastmarch");
        EXPECT_EQ(q["timeLeft"], "15");
        EXPECT_EQ(q["param1"], "coop");
        EXPECT_EQ(q["param2"], "hard");
        EXPECT_EQ(q["platform"], "win");
        EXPECT_GE(q["ping"].get<int>(), 0);
        EXPECT_LE(q["players"].get<int>(), 10);
        for (const json& p : q["playerList"]) {
            EXPECT_FALSE(p["name"].get<std::string>().empty());
            EXPECT_EQ(p["score"], "0"); // nobody scores before the round is played
            EXPECT_EQ(p["deaths"], "0");
        }
    }
}

TEST(EndToEndQuery, TextUsesTheWatchWindowLabels) {
    CSimRun sim({"--impl", "directplay", "--phase-seconds", "600", "--name", "Vale Coop",
                 "--game-type", "ironvalu", "--platform", "win", "--param1", "coop", "--param2",
                 "hard", "--password-flag", "--players", "2", "--max-players", "12"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ProgramResult r = Cli({"query", "--timeout", "20000", sim.Address()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string port = std::to_string(sim.Port());
    for (const std::string& line : std::vector<std::string>{
             "Type: Ironvale Uprising", "Description: Vale Coop", "Version: 196", "Required: 196",
             "Locked: YES", "Port: " + port, "Impl: DirectPlay", "Platform: Windows", "Map: Vale",
             "Current mission: Harbour Assault", "Status: Waiting", "Time left: Unknown",
             "Param: coop, hard"})
        EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << line << "\n" << r.out;
    EXPECT_NE(r.out.find("Logged on: "), std::string::npos);
    EXPECT_NE(r.out.find("/12\n"), std::string::npos) << r.out;
    // Player lines: name, score and deaths between tabs.
    size_t tabs = 0;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (std::count(line.begin(), line.end(), '\t') == 2 && line.find("\t0\t0") != line.npos)
            ++tabs;
    EXPECT_GE(tabs, 1u) << r.out;
}

TEST(EndToEndQuery, SilentServerTimesOutWithExitOne) {
    const int port = FreePortBlock();
    ASSERT_NE(port, 0);
    const std::string address = "127.0.0.1:" + std::to_string(port);
    const auto start = std::chrono::steady_clock::now();
    ProgramResult r = Cli({"query", "--timeout", "1500", address});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No reply from " + address), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_GE(took, 1500ms);
}

TEST(EndToEndQuery, BadAddressAndUsageExitTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"query", "no-such-host!"}, "Bad address error"},
        {{"query", "--json", "no-such-host!:2302"}, "Bad address error"},
        {{"watch", "no-such-host!"}, "Bad address error"},
        {{"query"}, "usage"},
        {{"query", "--timeout", "soon", "127.0.0.1"}, "usage"},
        {{"watch", "--duration"}, "usage"},
    };
    for (const Case& c : cases) {
        ProgramResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args.back();
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(EndToEndWatch, JsonFollowsTheRound) {
    CSimRun sim({"--round-seconds", "3", "--phase-seconds", "3", "--mission", "Night Raid"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ProgramResult r = Cli({"watch", "--json", "--duration", "24", sim.Address()}, 120s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<json> lines = JsonLines(r.out);
    ASSERT_GE(lines.size(), 3u) << r.out;
    const std::map<int, std::string> texts = {
        {6, "Waiting"}, {12, "Setting up"}, {13, "Briefing"}, {14, "Playing"}, {9, "Debriefing"}};
    int previous = -1;
    for (const json& line : lines) {
        ASSERT_FALSE(line.is_discarded()) << r.out;
        ASSERT_TRUE(line.contains("time") && line.contains("players")) << line.dump();
        const int state = line["state"].get<int>();
        ASSERT_EQ(texts.count(state), 1u) << line.dump();
        EXPECT_EQ(line["status"], texts.at(state));
        EXPECT_EQ(line["mission"], "Night Raid");
        if (previous != -1) {
            // Every line is a change, onwards through the round; Briefing right after
            // Setting up is no change worth telling.
            EXPECT_NE(state, previous) << r.out;
            EXPECT_GT((RoundPosition(state) - RoundPosition(previous) + 5) % 5, 0) << r.out;
            EXPECT_FALSE(previous == 12 && state == 13) << r.out;
        }
        previous = state;
    }
}

TEST(EndToEndWatch, StopSignalsEndItCleanly) {
    CSimRun sim({"--phase-seconds", "600"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    for (int signal : {SIGINT, SIGTERM}) {
        CChildProcess watch;
        ASSERT_TRUE(watch.Start(QUILLORY_CLI_PATH, {"watch", sim.Address()}));
        std::string first;
        ASSERT_TRUE(watch.ReadLine(first, 30s)) << watch.Err();
        EXPECT_NE(first.find("Waiting"), std::string::npos) << first;
        EXPECT_EQ(watch.Stop(signal), 0) << watch.Err();
    }
}

// Watching and querying never download, unpack nor check a signature: the libraries for that
// stay unloaded, so the programs start without their cost.
TEST(EndToEndWatch, LoadsNoDownloadOrArchiveLibrary) {
    CSimRun sim({"--phase-seconds", "600"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    CChildProcess watch;
    ASSERT_TRUE(watch.Start(QUILLORY_CLI_PATH, {"watch", sim.Address()}));
    std::string first;
    ASSERT_TRUE(watch.ReadLine(first, 30s)) << watch.Err();
    std::ifstream maps("/proc/" + std::to_string(watch.Pid()) + "/maps");
    ASSERT_TRUE(maps.is_open());
    std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    ASSERT_NE(mapped.find("libc.so"), std::string::npos) << "not the process's map: " << mapped;
    for (const char* library : {"libcurl.so", "libz.so", "libminizip.so", "libsodium.so"})
        EXPECT_EQ(mapped.find(library), std::string::npos) << library << " is loaded";
    EXPECT_EQ(watch.Stop(SIGTERM), 0) << watch.Err();
}

TEST(DefaultPorts, QueryWithoutAPortFindsTheServerOn2302) {
    CChildProcess sim;
    ASSERT_TRUE(sim.Start(QUILLORY_SIM_PATH,
                          {"--port", "2302", "--impl", "directplay", "--phase-seconds", "600"}));
    std::string line;
    ASSERT_TRUE(sim.ReadLine(line, 20s)) << sim.Err();
    ProgramResult r = Cli({"query", "--json", "--timeout", "20000", "127.0.0.1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    json q = json::parse(r.out, nullptr, false);
    EXPECT_EQ(q["port"], 2302);
    EXPECT_EQ(q["implementation"], "DirectPlay");
    EXPECT_EQ(q["status"], "Waiting");
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}
