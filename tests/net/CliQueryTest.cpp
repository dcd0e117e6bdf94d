// quillory-cli query and watch against a fake server on loopback.
#include "ChildProcess.h"
#include "ReplyBytes.h"
#include "net/ServerAddress.h"
#include "tests/support/FakeGameServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quillory;
using namespace quillory::test;

TEST(ServerAddress, SplitsHostAndPortAsTyped) {
    struct Case {
        String text, host, portText;
        uint32_t port;
    };
    const std::vector<Case> cases = {
        {"10.0.0.5:2302", "10.0.0.5", "2302", 2302},
        {"example.org", "example.org", "0", 0},
        {" host : 2400 ", "host", "2400", 2400},
        {"host:abc", "host", "abc", 0},
        {"host:12x", "host", "12x", 12},
        {"host:", "host", "", 0},
        {"a:1:2", "a", "1:2", 1},
    };
    for (const auto& c : cases) {
        ServerAddress a = SplitServerAddress(c.text);
        EXPECT_EQ(a.host, c.host) << c.text;
        EXPECT_EQ(a.portText, c.portText) << c.text;
        EXPECT_EQ(a.port, c.port) << c.text;
    }
}

TEST(ServerAddress, ResolvesDottedAndNamedHostsAndRefusesTheRest) {
    auto dotted = ResolveServerAddress("127.0.0.1:2302");
    ASSERT_TRUE(dotted);
    EXPECT_EQ(dotted->address, LoopbackAddress());
    EXPECT_EQ(dotted->port, 2302);
    auto named = ResolveServerAddress("localhost");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->port, 0);
    EXPECT_FALSE(ResolveServerAddress(""));
    EXPECT_FALSE(ResolveServerAddress(":2302"));
    EXPECT_FALSE(ResolveServerAddress("127.0.0.1:70000"));
    EXPECT_FALSE(ResolveServerAddress("no-such-host.invalid"));
}

#ifdef QUILLORY_CLI_PATH

namespace {

// Answers every probe and status query the way a Sockets server does, until stopped.
class Responder {
public:
    explicit Responder(FakeGameServer& server, uint32_t gameState = 14) : server_(server) {
        fields_.state = gameState;
        thread_ = std::thread([this] { Loop(); });
    }
    ~Responder() {
        stop_ = true;
        thread_.join();
    }
    void SetState(uint32_t gameState) { state_ = gameState; }

private:
    void Loop() {
        state_ = fields_.state;
        while (!stop_) {
            if (auto d = server_.At(0).Receive(20); d && d->bytes.size() == 32) {
                EnumFields f = fields_;
                f.state = state_;
                server_.At(0).Send(d->fromPort, SocketsReply(348, f));
            }
            if (auto d = server_.At(1).Receive(20)) {
                server_.At(1).Send(d->fromPort,
                                   StatusDatagram("\\gamename\\ironval\\mapname\\Everon"
                                                  "\\maxplayers\\12\\timeleft\\15\\platform\\linux",
                                                  "5", 0));
                server_.At(1).Send(
                    d->fromPort,
                    StatusDatagram("\\player_0\\B\xe9la\\t\\1\\s\\7\\d\\2\\final\\", "5", 1));
            }
        }
    }

    FakeGameServer& server_;
    EnumFields fields_;
    std::atomic<uint32_t> state_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string Address(const FakeGameServer& s) {
    return "127.0.0.1:" + std::to_string(s.GamePort());
}

} // namespace

TEST(CliQuery, JsonHoldsEveryFieldOfBothReplies) {
    FakeGameServer server;
    ASSERT_TRUE(server.Open());
    Responder responder(server);
    ChildProcess cli({QUILLORY_CLI_PATH, "query", "--json", Address(server)});
    ASSERT_EQ(cli.Finish(), 0) << cli.Err();
    auto j = nlohmann::json::parse(cli.Out());
    EXPECT_EQ(j.size(), 19u);
    EXPECT_EQ(j["description"], "Dedicated server on Alpha");
    EXPECT_EQ(j["mission"], "Border Patrol");
    EXPECT_EQ(j["players"], 5);
    EXPECT_EQ(j["maxPlayers"], "10");
    EXPECT_EQ(j["version"], 196);
    EXPECT_EQ(j["requiredVersion"], 195);
    EXPECT_EQ(j["state"], 14);
    EXPECT_EQ(j["status"], "Playing");
    EXPECT_EQ(j["port"], server.GamePort());
    EXPECT_TRUE(j["ping"].is_number_integer());
    EXPECT_EQ(j["locked"], true);
    EXPECT_EQ(j["implementation"], "Sockets");
    EXPECT_EQ(j["gameType"], "ironval");
    EXPECT_EQ(j["map"], "Everon");
    EXPECT_EQ(j["timeLeft"], "15");
    EXPECT_EQ(j["param1"], "");
    EXPECT_EQ(j["platform"], "linux");
    ASSERT_EQ(j["playerList"].size(), 1u);
    EXPECT_EQ(j["playerList"][0]["name"], "B\xef\xbf\xbdla") << "code page byte replaced";
    EXPECT_EQ(j["playerList"][0]["score"], "7");
    EXPECT_EQ(j["playerList"][0]["deaths"], "2");
}

TEST(CliQuery, TextShowsTheWindowLabelsThenThePlayers) {
    FakeGameServer server;
    ASSERT_TRUE(server.Open());
    Responder responder(server);
    ChildProcess cli({QUILLORY_CLI_PATH, "query", Address(server)});
    ASSERT_EQ(cli.Finish(), 0) << cli.Err();
    const std::string& out = cli.Out();
    for (const char* line :
         {"Type: Ironvale\n", "Description: Dedicated server on Alpha\n", "Version: 196\n",
          "Required: 195\n", "Locked: YES\n", "Impl: Sockets\n", "Platform: Linux\n",
          "Logged on: 5/10\n", "Map: Everon\n", "Current mission: Border Patrol\n",
          "Status: Playing\n", "Time left: Unknown\n", "Param: \n", "B\xe9la\t7\t2\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;
    EXPECT_NE(out.find("Port: " + std::to_string(server.GamePort()) + "\n"), std::string::npos);
}

TEST(CliQuery, SilentServerBadAddressAndBadUsage) {
    FakeGameServer silent;
    ASSERT_TRUE(silent.Open());
    ChildProcess none({QUILLORY_CLI_PATH, "query", "--timeout", "300", Address(silent)});
    EXPECT_EQ(none.Finish(), 1);
    EXPECT_EQ(none.Err(), "No reply from " + Address(silent) + "\n");
    EXPECT_EQ(none.Out(), "");

    ChildProcess bad({QUILLORY_CLI_PATH, "query", "no-such-host.invalid:2302"});
    EXPECT_EQ(bad.Finish(), 2);
    EXPECT_EQ(bad.Err(), "Bad address error\n");

    for (std::vector<std::string> args : {std::vector<std::string>{"query"},
                                          {"query", "--timeout"},
                                          {"query", "--timeout", "-5", "127.0.0.1"},
                                          {"query", "--bogus", "127.0.0.1"},
                                          {"query", "127.0.0.1", "127.0.0.2"},
                                          {"watch", "--duration", "x", "127.0.0.1"}}) {
        args.insert(args.begin(), QUILLORY_CLI_PATH);
        ChildProcess usage(args);
        EXPECT_EQ(usage.Finish(), 2) << args[1] << " " << (args.size() > 2 ? args[2] : "");
    }
}

TEST(CliWatch, PrintsEachNotifiedChangeAndEndsCleanlyOnTerminate) {
    FakeGameServer server;
    ASSERT_TRUE(server.Open());
    Responder responder(server, 12);
    ChildProcess cli({QUILLORY_CLI_PATH, "watch", "--json", Address(server)});
    // Setting up, briefing (silent after setting up), then playing: two lines.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    responder.SetState(13);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    responder.SetState(14);
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    cli.Signal(SIGTERM);
    ASSERT_EQ(cli.Finish(), 0) << cli.Err();
    std::vector<nlohmann::json> lines;
    size_t start = 0;
    for (size_t end; (end = cli.Out().find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(nlohmann::json::parse(cli.Out().substr(start, end - start)));
    ASSERT_EQ(lines.size(), 2u) << cli.Out();
    EXPECT_EQ(lines[0]["state"], 12);
    EXPECT_EQ(lines[0]["status"], "Setting up");
    EXPECT_EQ(lines[1]["status"], "Playing");
    EXPECT_EQ(lines[1]["players"], 5);
    EXPECT_EQ(lines[1]["mission"], "Border Patrol");
    EXPECT_EQ(lines[1]["time"].get<std::string>().size(), 19u);
}

TEST(CliWatch, DurationEndsTheWatchAndInterruptToo) {
    FakeGameServer server;
    ASSERT_TRUE(server.Open());
    Responder responder(server, 6);
    ChildProcess timed({QUILLORY_CLI_PATH, "watch", "--duration", "2", Address(server)});
    ASSERT_EQ(timed.Finish(), 0) << timed.Err();
    EXPECT_NE(timed.Out().find("\tWaiting\t5\tBorder Patrol\n"), std::string::npos) << timed.Out();

    ChildProcess interrupted({QUILLORY_CLI_PATH, "watch", Address(server)});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    interrupted.Signal(SIGINT);
    EXPECT_EQ(interrupted.Finish(), 0);
}

#endif
