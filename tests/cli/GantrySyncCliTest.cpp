// quillory-cli gantry install and sync against real archives and quillory-sim's package host.
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SimRun.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <map>
#include <thread>

using namespace quillory::test;
using nlohmann::json;

namespace {

class GantrySyncCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ZipBuilder().Add("alpha.pbo", "alpha").Write(server / "alpha.zip"));
        ASSERT_TRUE(ZipBuilder()
                        .Add("gantry.txt", "GANTRY_START\nPACKAGE Beta\nINSTALLPATH *\n"
                                           "IGNORE gantry.txt\nGANTRY_END\n")
                        .Add("@beta/addons/beta.pbo", "beta")
                        .Write(server / "beta.zip"));
        ASSERT_TRUE(ZipBuilder().Add("gamma.pbo", "gamma").Write(server / "gamma.zip"));
        game.Write("IRONVALE.EXE", "exe");
    }

    ProgramResult Gantry(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"gantry", "--data", data.Path().string(), "--game",
                                        game.Path()};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(QUILLORY_CLI_PATH, all, 180s);
    }

    // Offered status text by package name.
    std::map<std::string, std::string> OfferedStatuses(const std::string& address) {
        ProgramResult r = Gantry({"offered", "--json", address});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::map<std::string, std::string> statuses;
        json out = json::parse(r.out, nullptr, false);
        if (!out.is_discarded())
            for (const auto& p : out["packages"])
                statuses[p["name"]] = p["statusText"];
        return statuses;
    }

    ScratchFolder server;
    ScratchFolder data;
    TempGameFolder game;
};

TEST_F(GantrySyncCliTest, SyncInstallsWhatArrivesAndNamesWhatFailed) {
    CSimRun sim({"--gantry", server.Path().string(), "--http-port", CSimRun::kHttpPort,
                 "--http-fail", "gamma.zip"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();

    ProgramResult r = Gantry({"sync", sim.Address()});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("gamma"), std::string::npos) << r.err;
    EXPECT_EQ(game.Read("addons/alpha.pbo"), "alpha");
    EXPECT_EQ(game.Read("@beta/addons/beta.pbo"), "beta");
    EXPECT_FALSE(game.Exists("addons/gamma.pbo"));

    ProgramResult packages = Gantry({"packages", "--json"});
    ASSERT_EQ(packages.exitCode, 0) << packages.err;
    EXPECT_NE(packages.out.find("\"Beta\""), std::string::npos) << packages.out;
    EXPECT_NE(packages.out.find("\"alpha\""), std::string::npos) << packages.out;

    std::map<std::string, std::string> statuses = OfferedStatuses(sim.Address());
    EXPECT_EQ(statuses["alpha"], "Files installed");
    EXPECT_EQ(statuses["Beta"], "Files installed");
    EXPECT_EQ(statuses["gamma"], "No file installed");
}

TEST_F(GantrySyncCliTest, AStopKeepsWhatWasInstalledSavesAndExits130) {
    // Random bytes do not compress: about 20 s at the host's rate, time to stop part-way.
    std::string noise(2000000, '\0');
    uint32_t seed = 7;
    for (char& c : noise) {
        seed = seed * 1103515245 + 12345;
        c = static_cast<char>(seed >> 24);
    }
    ASSERT_TRUE(ZipBuilder().Add("zulu.pbo", noise, {}, false).Write(server / "zulu.zip"));
    CSimRun sim({"--gantry", server.Path().string(), "--http-port", CSimRun::kHttpPort,
                 "--http-rate", "100000"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    CChildProcess cli;
    ASSERT_TRUE(cli.Start(QUILLORY_CLI_PATH, {"gantry", "--data", data.Path().string(), "--game",
                                              game.Path(), "sync", sim.Address()}));
    // Stopped while the last archive downloads, the ones before it installed.
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (!(std::filesystem::exists(data / "zulu.tmp") && game.Exists("addons/gamma.pbo")) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(std::filesystem::exists(data / "zulu.tmp")) << cli.Err();
    EXPECT_EQ(cli.Stop(SIGINT), 130) << cli.Out() << cli.Err();
    EXPECT_EQ(game.Read("addons/alpha.pbo"), "alpha");
    EXPECT_FALSE(game.Exists("addons/zulu.pbo"));

    ProgramResult packages = Gantry({"packages", "--json"});
    ASSERT_EQ(packages.exitCode, 0) << packages.err;
    EXPECT_NE(packages.out.find("\"alpha\""), std::string::npos) << packages.out;
    EXPECT_NE(packages.out.find("\"gamma\""), std::string::npos) << packages.out;
    EXPECT_EQ(packages.out.find("\"zulu\""), std::string::npos) << packages.out;
}

TEST_F(GantrySyncCliTest, OnlyTheNamedPackagesAreFetched) {
    CSimRun sim({"--gantry", server.Path().string(), "--http-port", CSimRun::kHttpPort});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();

    ProgramResult unknown = Gantry({"sync", "--only", "Delta", sim.Address()});
    EXPECT_EQ(unknown.exitCode, 2) << unknown.err;

    ProgramResult r = Gantry({"sync", "--only", "alpha", "gamma", sim.Address()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(game.Exists("addons/alpha.pbo"));
    EXPECT_TRUE(game.Exists("addons/gamma.pbo"));
    EXPECT_FALSE(game.Exists("@beta"));
}

TEST_F(GantrySyncCliTest, InstallTellsWhatWasWrittenReusedAndLeftOut) {
    ASSERT_TRUE(ZipBuilder()
                    .Add("gantry.txt", "GANTRY_START\nPACKAGE Maps\nINSTALL *.pbo addons\\\n"
                                       "GANTRY_END\n")
                    .Add("alpha.pbo", "alpha")
                    .Add("readme.txt", "not installed")
                    .Write(server / "maps.zip"));
    game.Write("AddOns/alpha.pbo", "alpha");
    ScratchFolder elsewhere;
    ASSERT_TRUE(WriteFileBytes(elsewhere.Path() / "junk.zip", "not a zip"));

    ProgramResult r = Gantry({"install", server / "maps.zip", server / "gamma.zip"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("reused    addons\\alpha.pbo"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("left out  readme.txt"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("written   addons\\gamma.pbo"), std::string::npos) << r.out;
    EXPECT_EQ(game.Read("AddOns/gamma.pbo"), "gamma"); // into the folder already there

    ProgramResult bad = Gantry({"install", elsewhere / "junk.zip"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("junk.zip"), std::string::npos) << bad.err;

    // The database kept both packages.
    ProgramResult packages = Gantry({"packages", "--json"});
    EXPECT_NE(packages.out.find("\"Maps\""), std::string::npos) << packages.out;
    EXPECT_NE(packages.out.find("\"gamma\""), std::string::npos) << packages.out;
}

} // namespace
