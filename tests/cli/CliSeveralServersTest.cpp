// quillory-cli query with several addresses, and server texts in text output, against scripted
// fake servers and simulators on loopback.
#include "tests/net/ReplyBytes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeGameServer.h"
#include "tests/support/SimRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <memory>
#include <sstream>
#include <thread>

using namespace quillory;
using namespace quillory::test;
using nlohmann::json;

namespace {

// Answers every probe and status query of one fake server with the texts given, until
// destroyed.
class TextServer {
public:
    TextServer(EnumFields fields, std::string statusPairs)
        : fields_(std::move(fields)), pairs_(std::move(statusPairs)) {
        opened_ = server_.Open();
        thread_ = std::thread([this] { Loop(); });
    }
    ~TextServer() {
        stop_ = true;
        thread_.join();
    }
    bool Opened() const { return opened_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(server_.GamePort()); }
    uint16_t GamePort() const { return server_.GamePort(); }

private:
    void Loop() {
        while (!stop_ && opened_) {
            if (auto d = server_.At(0).Receive(20); d && d->bytes.size() == 32)
                server_.At(0).Send(d->fromPort, SocketsReply(348, fields_));
            if (auto d = server_.At(1).Receive(20))
                server_.At(1).Send(d->fromPort, StatusDatagram(pairs_ + "\\final\\", "3", 0));
        }
    }

    FakeGameServer server_;
    EnumFields fields_;
    std::string pairs_;
    bool opened_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string Pairs(const std::string& map) {
    return "\\gamename\\ironval\\mapname\\" + map + "\\maxplayers\\12\\platform\\linux";
}

EnumFields Named(const std::string& description) {
    EnumFields f;
    f.description = description;
    return f;
}

// A port on loopback that nothing listens on: the host answers it with a refusal.
std::string ClosedAddress() {
    const int port = FreePortBlock(3);
    return port ? "127.0.0.1:" + std::to_string(port) : "";
}

std::vector<json> JsonLines(const std::string& out) {
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line, nullptr, false));
    return lines;
}

ProgramResult Cli(const std::vector<std::string>& args, std::chrono::milliseconds limit = 60s) {
    return RunProgram(QUILLORY_CLI_PATH, args, limit);
}

} // namespace

TEST(CliServerText, EscapeSequencesFromTheServerNeverReachTheTerminal) {
    EnumFields f = Named("Evil\x1b]0;owned\x07 server");
    f.mission = "Raid\x1b[2J\r\nStatus: Fake";
    TextServer server(f, Pairs("Ever\x1b[31mon") + "\\player_0\\Bob\x9b"
                                                   "1m\\t\\1\\s\\7\\d\\2");
    ASSERT_TRUE(server.Opened());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"query", server.Address()},
          {"query", server.Address(), server.Address()}}) {
        ProgramResult r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find('\r'), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find('\x9b'), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("\nStatus: Fake"), std::string::npos) << r.out;
        for (const char* line :
             {"Description: Evil?]0;owned? server\n", "Current mission: Raid?[2J??Status: Fake\n",
              "Map: Ever?[31mon\n", "Bob?1m\t7\t2\n"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    }
    // JSON escapes them already, and still carries them.
    ProgramResult j = Cli({"query", "--json", server.Address()});
    ASSERT_EQ(j.exitCode, 0) << j.err;
    EXPECT_EQ(json::parse(j.out)["description"], "Evil\x1b]0;owned\x07 server");
}

TEST(CliSeveralServers, JsonGivesOneLinePerAddressInTheOrderGiven) {
    std::vector<std::unique_ptr<TextServer>> servers;
    for (const char* name : {"First", "Second", "Third"}) {
        servers.push_back(
            std::make_unique<TextServer>(Named(name), Pairs(std::string(name) + "Map")));
        ASSERT_TRUE(servers.back()->Opened());
    }
    CSimRun sim({"--seed", "3", "--phase-seconds", "600"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    const std::string closed = ClosedAddress();
    ASSERT_FALSE(closed.empty());
    // The refusal is told at once, so this ends long before the timeout.
    const std::vector<std::string> addresses = {servers[2]->Address(), closed, sim.Address(),
                                                servers[0]->Address(), servers[1]->Address()};
    std::vector<std::string> args = {"query", "--json", "--timeout", "120000"};
    args.insert(args.end(), addresses.begin(), addresses.end());
    ProgramResult r = Cli(args, 60s);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::vector<json> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), addresses.size()) << r.out;
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_FALSE(lines[i].is_discarded()) << r.out;
        EXPECT_EQ(lines[i]["address"], addresses[i]);
        EXPECT_EQ(lines[i].begin().key(), "address");
    }
    EXPECT_EQ(lines[0]["description"], "Third");
    EXPECT_EQ(lines[0]["map"], "ThirdMap");
    EXPECT_EQ(lines[1].size(), 2u) << lines[1].dump();
    EXPECT_EQ(lines[1]["error"], "Port unreachable");
    EXPECT_EQ(lines[2]["port"], sim.Port());
    EXPECT_FALSE(lines[2].contains("error"));
    EXPECT_EQ(lines[3]["description"], "First");
    EXPECT_EQ(lines[4]["description"], "Second");
    EXPECT_EQ(lines[4]["players"], 5);
}

TEST(CliSeveralServers, TextBlocksAreSeparatedByBlankLinesAndSilenceIsNoReply) {
    TextServer one(Named("One"), Pairs("A"));
    TextServer two(Named("Two"), Pairs("B"));
    FakeGameServer silent; // bound, so no refusal: only the timeout ends the wait for it
    ASSERT_TRUE(one.Opened() && two.Opened() && silent.Open());
    const std::string quiet = "127.0.0.1:" + std::to_string(silent.GamePort());
    ProgramResult r = Cli({"query", "--timeout", "1500", one.Address(), quiet, two.Address()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::string first = "Address: " + one.Address() + "\n";
    const std::string second =
        "\n\nAddress: " + quiet + "\nError: No reply\n\nAddress: " + two.Address() + "\n";
    EXPECT_EQ(r.out.rfind(first, 0), 0u) << r.out;
    const size_t middle = r.out.find(second);
    ASSERT_NE(middle, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Description: One\n"), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("Description: One\n"), middle) << r.out;
    EXPECT_GT(r.out.find("Description: Two\n"), middle) << r.out;
    EXPECT_EQ(r.out.find("\n\n\n"), std::string::npos) << r.out;

    ProgramResult json = Cli({"query", "--json", "--timeout", "1500", quiet, one.Address()});
    EXPECT_EQ(json.exitCode, 1);
    const std::vector<nlohmann::json> lines = JsonLines(json.out);
    ASSERT_EQ(lines.size(), 2u) << json.out;
    EXPECT_EQ(lines[0], nlohmann::json({{"address", quiet}, {"error", "No reply"}}));
    EXPECT_EQ(lines[1]["description"], "One");
}

TEST(CliSeveralServers, ExitCodesTellWhetherEveryAddressReplied) {
    TextServer one(Named("One"), Pairs("A"));
    TextServer two(Named("Two"), Pairs("B"));
    ASSERT_TRUE(one.Opened() && two.Opened());
    const std::string closed = ClosedAddress();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"query", "--timeout", "20000", one.Address(), two.Address()}, 0},
        {{"query", "--json", one.Address(), one.Address()}, 0},
        {{"query", "--timeout", "20000", one.Address(), closed}, 1},
        {{"query", one.Address(), "no-such-host!"}, 1},
        {{"query", "--timeout", one.Address(), two.Address()}, 2},
        {{"query", "--json", one.Address(), "--bogus", two.Address()}, 2},
    };
    for (const Case& c : cases) {
        ProgramResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.back() << "\n" << r.out << r.err;
    }
    ProgramResult bad = Cli({"query", "--json", "no-such-host!", one.Address()});
    EXPECT_NE(bad.out.find("\"error\":\"Bad address error\""), std::string::npos) << bad.out;
}
