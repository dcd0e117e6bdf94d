// quillory-cli watch of several servers with friends, and launch --wait-for-slot, against
// simulators whose players change over time.
#include "tests/support/ScratchFolder.h"
#include "tests/support/SimRun.h"
#include "tests/support/TempGameFolder.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quillory::test;
using json = nlohmann::json;

namespace {

std::vector<json> JsonLines(const std::string& out) {
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line, nullptr, false));
    return lines;
}

std::vector<std::string> TextLines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

// The friend's stay outlasts two status queries (one every 8 s), so the watch sees it.
TEST(CliWatchSeveral, TellsChangesAndFriendsOfEveryServerWithItsAddress) {
    CSimRun full({"--max-players", "3", "--free-slot-after", "600"});
    CSimRun visited({"--player-joins", "Bob the Brave@2", "--player-leaves", "Bob the Brave@18",
                     "--players", "2"});
    ASSERT_TRUE(full.Listening() && visited.Listening());
    const std::string silent = "127.0.0.1:" + std::to_string(FreePortBlock(2));
    const ProgramResult r =
        RunProgram(QUILLORY_CLI_PATH,
                   {"watch", "--json", "--friend", "BOB*", "--friend", "nobody", "--duration", "28",
                    full.Address(), visited.Address(), silent},
                   60s);
    EXPECT_EQ(r.exitCode, 1) << r.err; // the silent one never answered
    EXPECT_EQ(r.err, "No reply from " + silent + "\n");
    int joined = 0, left = 0, fullChanges = 0;
    for (const json& line : JsonLines(r.out)) {
        ASSERT_TRUE(line.is_object()) << r.out;
        ASSERT_TRUE(line.contains("address")) << line;
        EXPECT_NE(line["address"], silent);
        EXPECT_EQ(line["time"].get<std::string>().size(), 19u);
        if (line.contains("event")) {
            EXPECT_EQ(line["address"], visited.Address()) << line;
            EXPECT_EQ(line["name"], "Bob the Brave");
            joined += line["event"] == "friend joined";
            left += line["event"] == "friend left";
        } else {
            EXPECT_TRUE(line.contains("status") && line.contains("players")) << line;
            fullChanges += line["address"] == full.Address();
        }
    }
    EXPECT_EQ(joined, 1) << r.out;
    EXPECT_EQ(left, 1) << r.out;
    EXPECT_GE(fullChanges, 1) << r.out;
}

TEST(CliWatchSeveral, TextLinesBeginWithTheAddressOnlyForSeveralServers) {
    CSimRun first({"--name", "One", "--phase-seconds", "600"});
    CSimRun second({"--name", "Two", "--phase-seconds", "600"});
    ASSERT_TRUE(first.Listening() && second.Listening());
    ProgramResult r = RunProgram(
        QUILLORY_CLI_PATH, {"watch", "--duration", "3", first.Address(), second.Address()}, 60s);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = TextLines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out; // the first state of each
    for (const std::string& address : {first.Address(), second.Address()})
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& l) {
                                    return l.starts_with(address + "\t") &&
                                           l.ends_with("\tWaiting\t4\tHarbour Assault");
                                }),
                  1)
            << r.out;

    r = RunProgram(QUILLORY_CLI_PATH, {"watch", "--duration", "3", first.Address()}, 60s);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(TextLines(r.out).size(), 1u) << r.out;
    EXPECT_FALSE(r.out.starts_with("127.0.0.1")) << r.out; // one server: as it always was
    r = RunProgram(QUILLORY_CLI_PATH, {"watch", "--json", "--duration", "3", first.Address()}, 60s);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 1u) << r.out;
    EXPECT_EQ(objects[0]["address"], first.Address());
    EXPECT_EQ(objects[0]["status"], "Waiting");
}

TEST(CliWatchSeveral, RefusesABadCommandLine) {
    struct Case {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"watch", "--friend"}, "--friend needs a value"},
        {{"watch", "--friend", "", "127.0.0.1"}, "--friend"},
        {{"watch", "127.0.0.1:2302", "no-such-host!:2302"},
         "Bad address error: no-such-host!:2302"},
        {{"launch", "--timeout", "5", "127.0.0.1"}, "--timeout"},
        {{"launch", "--wait-for-slot", "--timeout", "x", "127.0.0.1"}, "--timeout"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = RunProgram(QUILLORY_CLI_PATH, c.args);
        EXPECT_EQ(r.exitCode, 2) << c.err << "\n" << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

class CliWaitForSlot : public ::testing::Test {
protected:
    void SetUp() override {
        game.Write("IRONVALEUPRISING.EXE", "MZ");
        const std::string record = (records.Path() / "wine.txt").string();
        std::ofstream script(bin.Path() / "wine");
        script << "#!/bin/sh\necho started >> '" << record << "'\n";
        script.close();
        std::filesystem::permissions(bin.Path() / "wine", std::filesystem::perms::owner_all);
        oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", (bin.Path().string() + ":/usr/bin:/bin").c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", oldPath_.c_str(), 1); }

    ProgramResult Launch(std::vector<std::string> args) {
        std::vector<std::string> all = {"launch", "--data", data.Path().string(), "--game",
                                        game.Path()};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(QUILLORY_CLI_PATH, all, 120s);
    }

    std::string Starts() {
        std::string text;
        ReadFileBytes(records.Path() / "wine.txt", text);
        return text;
    }

    ScratchFolder data, bin, records;
    TempGameFolder game;

private:
    std::string oldPath_;
};

TEST_F(CliWaitForSlot, WaitsUntilAPlayerLeavesThenStartsOnce) {
    CSimRun sim({"--max-players", "4", "--free-slot-after", "10"});
    ASSERT_TRUE(sim.Listening());
    ProgramResult r = Launch({"--dry-run", "--wait-for-slot", "--timeout", "60", sim.Address()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find(sim.Address() + " is full (4/4); waiting for a free slot\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("A slot is free on " + sim.Address() + " (3/4)\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("-connect=127.0.0.1 -port=" + std::to_string(sim.Port())),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Starts(), "") << "a dry run starts nothing";

    // The slot is free now: a real start goes ahead at once, and once.
    r = Launch({"--wait-for-slot", sim.Address()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("waiting"), std::string::npos) << r.err;
    WaitFor([&] { return !Starts().empty(); }, 20s);
    EXPECT_EQ(Starts(), "started\n");
}

TEST_F(CliWaitForSlot, GivesUpAfterTheTimeout) {
    CSimRun sim({"--max-players", "2", "--free-slot-after", "600"});
    ASSERT_TRUE(sim.Listening());
    const ProgramResult r = Launch({"--wait-for-slot", "--timeout", "2", sim.Address()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No free slot on " + sim.Address() + " within 2 seconds\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Starts(), "");
    // Without the switch a full server is joined as before: the game says it is full.
    const ProgramResult plain = Launch({"--dry-run", sim.Address()});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.err.find("full"), std::string::npos) << plain.err;
}
