// quillory-cli as a player's scripts meet it: the saved password reaches every command that talks
// to a Gantry server, launch finds the desktop program's data folder, watch and query --json say
// when a server never answered.
#include "tests/support/ScratchFolder.h"
#include "tests/support/SettingsBytes.h"
#include "tests/support/SimRun.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

using namespace quillory::test;
using nlohmann::json;

namespace {

class SavedPasswordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ZipBuilder().Add("alpha.pbo", "alpha").Write(server / "alpha.zip"));
        game.Write("IRONVALE.EXE", "MZ");
    }

    ProgramResult Gantry(std::vector<std::string> args) {
        std::vector<std::string> all = {"gantry", "--data", data.Path().string(), "--game",
                                        game.Path()};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(QUILLORY_CLI_PATH, all, 180s);
    }

    ScratchFolder server, data;
    TempGameFolder game;
};

TEST_F(SavedPasswordTest, OfferedAndSyncTakeThePasswordOfTheMatchingEntry) {
    CSimRun sim({"--gantry", server.Path().string(), "--gantry-password", "s3cret", "--http-port",
                 CSimRun::kHttpPort});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ASSERT_TRUE(WriteFileBytes(data.Path() / "quillory.sav",
                               SettingsBytes({{"127.0.0.1:9", "other", "Other", "", true},
                                              {sim.Address(), "s3cret", "Sim", "", true}},
                                             "")));
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* err;
    } cases[] = {
        {{"offered", "--json", sim.Address()}, 0, ""},
        // Given on the command line, it wins over the saved one.
        {{"offered", "--password", "wrong", sim.Address()}, 1, "Psw fail"},
        {{"sync", sim.Address()}, 0, ""},
    };
    for (const Case& c : cases) {
        ProgramResult r = Gantry(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0] << "\n" << r.out << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_EQ(game.Read("addons/alpha.pbo"), "alpha");
}

TEST(LaunchDataFolder, WithoutDataTheDesktopProgramsFolderServesAsForGantry) {
    ScratchFolder dataHome, cwd, bin, server;
    TempGameFolder game;
    game.Write("IRONVALEUPRISING.EXE", "MZ");
    {
        std::ofstream wine(bin.Path() / "wine");
        wine << "#!/bin/sh\nexit 0\n";
    }
    std::filesystem::permissions(bin.Path() / "wine", std::filesystem::perms::owner_all);
    CSimRun sim({"--password-flag"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    const std::filesystem::path folder = dataHome.Path() / "quillory";
    ASSERT_TRUE(WriteFileBytes(
        folder / "quillory.sav",
        SettingsBytes({{sim.Address(), "pw", "Sim", "-world=empty", true}}, game.Path())));
    ASSERT_EQ(RunProgram(QUILLORY_CLI_PATH, {"gantry", "--data", folder.string(), "scan"}).exitCode,
              0);

    const ProgramResult r = RunProgram(
        "/usr/bin/env",
        {"-C", cwd.Path().string(), "XDG_DATA_HOME=" + dataHome.Path().string(),
         "PATH=" + bin.Path().string(), QUILLORY_CLI_PATH, "launch", "--dry-run", sim.Address()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (bin.Path() / "wine").string() + " " + game.Path() +
                         "IRONVALEUPRISING.EXE -nosplash -connect=127.0.0.1 -port=" +
                         std::to_string(sim.Port()) + " -password=pw -world=empty\n");
    EXPECT_TRUE(std::filesystem::is_empty(cwd.Path())) << "nothing is written where it ran";
}

TEST(SilentServer, WatchForADurationWithoutAnAnswerExitsOne) {
    CSimRun sim({"--phase-seconds", "600"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    const std::string silent = "127.0.0.1:" + std::to_string(FreePortBlock(2));
    struct Case {
        std::string address;
        int exitCode;
        const char* err;
    } cases[] = {{silent, 1, "No reply from "}, {sim.Address(), 0, ""}};
    for (const Case& c : cases) {
        ProgramResult r =
            RunProgram(QUILLORY_CLI_PATH, {"watch", "--json", "--duration", "3", c.address}, 60s);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.address << "\n" << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

TEST(SilentServer, QueryJsonGivesTheErrorAsALineForOneAddressToo) {
    const std::string silent = "127.0.0.1:" + std::to_string(FreePortBlock(2));
    struct Case {
        std::string address;
        int exitCode;
        const char* error;
    } cases[] = {
        {silent, 1, "No reply"},
        {"no-such-host!:2302", 2, "Bad address error"},
    };
    for (const Case& c : cases) {
        ProgramResult r =
            RunProgram(QUILLORY_CLI_PATH, {"query", "--json", "--timeout", "1000", c.address});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(json::parse(r.out, nullptr, false),
                  (json{{"address", c.address}, {"error", c.error}}))
            << r.out;
    }
}

} // namespace
