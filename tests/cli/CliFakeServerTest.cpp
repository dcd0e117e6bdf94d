// quillory-cli query and watch against a scripted fake server on loopback: exact replies, so
// exact fields, texts and exit codes.
#include "tests/net/ReplyBytes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeGameServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

using namespace quillory;
using namespace quillory::test;

namespace {

// Answers every probe and status query the way a Sockets server does, until destroyed.
class Responder {
public:
    explicit Responder(FakeGameServer& server, uint32_t gameState = 14) : server_(server) {
        state_ = gameState;
        thread_ = std::thread([this] { Loop(); });
    }
    ~Responder() {
        stop_ = true;
        thread_.join();
    }
    // Later probes are answered with `gameState`.
    void SetState(uint32_t gameState) {
        std::lock_guard guard(lock_);
        state_ = gameState;
        answeredInState_ = 0;
    }
    // Waits until `count` probes were answered with the state last set.
    bool WaitForAnswers(int count) {
        std::unique_lock guard(lock_);
        return answered_.wait_for(guard, 30s, [&] { return answeredInState_ >= count; });
    }

private:
    void Loop() {
        while (!stop_) {
            if (auto d = server_.At(0).Receive(20); d && d->bytes.size() == 32) {
                std::lock_guard guard(lock_);
                EnumFields f;
                f.state = state_;
                server_.At(0).Send(d->fromPort, SocketsReply(348, f));
                ++answeredInState_;
                answered_.notify_all();
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
    std::mutex lock_;
    std::condition_variable answered_;
    uint32_t state_ = 0;
    int answeredInState_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string Address(const FakeGameServer& s) {
    return "127.0.0.1:" + std::to_string(s.GamePort());
}

ProgramResult Cli(const std::vector<std::string>& args) {
    return RunProgram(QUILLORY_CLI_PATH, args);
}

} // namespace

TEST(CliQuery, JsonHoldsEveryFieldOfBothReplies) {
    FakeGameServer server;
    ASSERT_TRUE(server.Open());
    Responder responder(server);
    ProgramResult r = Cli({"query", "--json", Address(server)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
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
    ProgramResult r = Cli({"query", Address(server)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* line :
         {"Type: Ironvale\n", "Description: Dedicated server on Alpha\n", "Version: 196\n",
          "Required: 195\n", "Locked: YES\n", "Impl: Sockets\n", "Platform: Linux\n",
          "Logged on: 5/10\n", "Map: Everon\n", "Current mission: Border Patrol\n",
          "Status: Playing\n", "Time left: Unknown\n", "Param: \n", "B\xe9la\t7\t2\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    EXPECT_NE(r.out.find("Port: " + std::to_string(server.GamePort()) + "\n"), std::string::npos);
}

TEST(CliQuery, SilentServerBadAddressAndBadUsage) {
    FakeGameServer silent;
    ASSERT_TRUE(silent.Open());
    ProgramResult none = Cli({"query", "--timeout", "300", Address(silent)});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, "No reply from " + Address(silent) + "\n");
    EXPECT_EQ(none.out, "");

    ProgramResult bad = Cli({"query", "no-such-host!:2302"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err, "Bad address error\n");

    for (const std::vector<std::string>& args : {std::vector<std::string>{"query"},
                                                 {"query", "--timeout"},
                                                 {"query", "--timeout", "-5", "127.0.0.1"},
                                                 {"query", "--bogus", "127.0.0.1"},
                                                 {"watch", "--friend", "", "127.0.0.1"},
                                                 {"watch", "--duration", "x", "127.0.0.1"}}) {
        ProgramResult usage = Cli(args);
        EXPECT_EQ(usage.exitCode, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
}

// Each state change is awaited before the next, so a slow machine only makes it take longer.
TEST(CliWatch, PrintsEachNotifiedChangeAndEndsCleanlyOnTerminate) {
    FakeGameServer server;
    ASSERT_TRUE(server.Open());
    Responder responder(server, 12);
    CChildProcess cli;
    ASSERT_TRUE(cli.Start(QUILLORY_CLI_PATH, {"watch", "--json", Address(server)}));
    std::string line;
    ASSERT_TRUE(cli.ReadLine(line, 30s)) << cli.Err();
    auto first = nlohmann::json::parse(line);
    EXPECT_EQ(first["state"], 12);
    EXPECT_EQ(first["status"], "Setting up");
    // Briefing right after setting up is silent; two answers leave the watch a whole cycle to
    // see it.
    responder.SetState(13);
    ASSERT_TRUE(responder.WaitForAnswers(2));
    responder.SetState(14);
    ASSERT_TRUE(cli.ReadLine(line, 30s)) << cli.Err();
    auto second = nlohmann::json::parse(line);
    EXPECT_EQ(second["status"], "Playing");
    EXPECT_EQ(second["players"], 5);
    EXPECT_EQ(second["mission"], "Border Patrol");
    EXPECT_EQ(second["time"].get<std::string>().size(), 19u);
    ASSERT_TRUE(responder.WaitForAnswers(2));
    EXPECT_EQ(cli.Stop(SIGTERM), 0) << cli.Err();
    EXPECT_EQ(std::count(cli.Out().begin(), cli.Out().end(), '\n'), 2) << cli.Out();
}

TEST(CliWatch, DurationEndsTheWatchAndInterruptToo) {
    FakeGameServer server;
    ASSERT_TRUE(server.Open());
    Responder responder(server, 6);
    ProgramResult timed = Cli({"watch", "--duration", "3", Address(server)});
    ASSERT_EQ(timed.exitCode, 0) << timed.err;
    EXPECT_NE(timed.out.find("\tWaiting\t5\tBorder Patrol\n"), std::string::npos) << timed.out;

    CChildProcess interrupted;
    ASSERT_TRUE(interrupted.Start(QUILLORY_CLI_PATH, {"watch", Address(server)}));
    std::string line;
    ASSERT_TRUE(interrupted.ReadLine(line, 30s)) << interrupted.Err();
    EXPECT_EQ(interrupted.Stop(SIGINT), 0) << interrupted.Err();
}
