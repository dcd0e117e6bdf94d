// quillory-sim's players over time, seen in its status replies, and its refusals of bad
// schedules.
#include "tests/sim/UdpClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SimRun.h"

#include <gtest/gtest.h>

#include <thread>

using namespace quillory::test;
using namespace std::chrono_literals;

namespace {

// The status reply's text, in one datagram as the simulator sends it by default.
std::string StatusText(CUdpClient& client, int queryPort) {
    const std::string query = "\\status\\";
    const auto reply = client.Ask(queryPort, Bytes(query.begin(), query.end()));
    return reply ? reply->Text() : std::string();
}

bool ListsPlayer(const std::string& status, const std::string& name) {
    return status.find("\\" + name + "\\") != std::string::npos;
}

std::string Value(const std::string& status, const std::string& key) {
    const std::string mark = "\\" + key + "\\";
    const size_t at = status.find(mark);
    if (at == std::string::npos)
        return "<absent>";
    const size_t from = at + mark.size();
    return status.substr(from, status.find('\\', from) - from);
}

// Asks until `done` holds for the reply, for at most `limit`.
template <typename F>
std::string AskUntil(CUdpClient& client, int port, F done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string status;
    while (std::chrono::steady_clock::now() < end) {
        status = StatusText(client, port);
        if (done(status))
            break;
        std::this_thread::sleep_for(100ms);
    }
    return status;
}

} // namespace

TEST(SimPlayerSchedule, AFriendJoinsAndLeavesOnTime) {
    CSimRun sim({"--player-joins", "Bob the Brave@1", "--player-leaves", "Bob the Brave@3",
                 "--players", "2"});
    ASSERT_TRUE(sim.Listening());
    CUdpClient client;
    EXPECT_FALSE(ListsPlayer(StatusText(client, sim.Port() + 1), "Bob the Brave"));
    std::string status = AskUntil(
        client, sim.Port() + 1,
        [](const std::string& s) { return ListsPlayer(s, "Bob the Brave"); }, 5s);
    EXPECT_TRUE(ListsPlayer(status, "Bob the Brave")) << status;
    status = AskUntil(
        client, sim.Port() + 1,
        [](const std::string& s) { return !ListsPlayer(s, "Bob the Brave"); }, 5s);
    EXPECT_FALSE(ListsPlayer(status, "Bob the Brave")) << status;
}

TEST(SimPlayerSchedule, AFullServerFreesASlot) {
    CSimRun sim({"--max-players", "4", "--free-slot-after", "2"});
    ASSERT_TRUE(sim.Listening());
    CUdpClient client;
    std::string status = StatusText(client, sim.Port() + 1);
    EXPECT_EQ(Value(status, "numplayers"), "4") << status;
    status = AskUntil(
        client, sim.Port() + 1, [](const std::string& s) { return Value(s, "numplayers") == "3"; },
        6s);
    EXPECT_EQ(Value(status, "numplayers"), "3") << status;
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(Value(StatusText(client, sim.Port() + 1), "numplayers"), "3");
}

TEST(SimPlayerSchedule, BadSchedulesAreRefused) {
    struct Case {
        const char* option;
        const char* value;
    } cases[] = {
        {"--player-joins", "Bob"},        {"--player-joins", "@5"},
        {"--player-joins", "Bob@"},       {"--player-joins", "Bob@-1"},
        {"--player-leaves", "Bob@1x"},    {"--player-leaves", "B\\ob@1"},
        {"--player-joins", "Bob@604801"}, {"--free-slot-after", "-1"},
        {"--free-slot-after", "soon"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = RunProgram(QUILLORY_SIM_PATH, {c.option, c.value});
        const std::string reason = std::string("bad value '") + c.value + "' for " + c.option;
        EXPECT_EQ(r.exitCode, 2) << reason;
        EXPECT_NE(r.err.find("quillory-sim: " + reason + "\n"), std::string::npos) << r.err;
    }
}

TEST(SimPlayerSchedule, TheHelpNamesTheOptions) {
    const ProgramResult r = RunProgram(QUILLORY_SIM_PATH, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option :
         {"--player-joins NAME@SECONDS", "--player-leaves NAME@SECONDS", "--free-slot-after N"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}
