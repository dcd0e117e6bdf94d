// quillory-cli launch against quillory-sim: the command line it prints, the game it starts
// through a recording wine, and what it refuses.
#include "tests/support/ScratchFolder.h"
#include "tests/support/SettingsBytes.h"
#include "tests/support/SimRun.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace quillory::test;

namespace {

// Puts a value in the environment the programs started by a test inherit.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        old_ = old ? old : "";
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

class LaunchCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ZipBuilder().Add("alpha.pbo", "alpha").Write(server / "alpha.zip"));
        ASSERT_TRUE(ZipBuilder()
                        .Add("gantry.txt", "GANTRY_START\nPACKAGE Beta\nINSTALLPATH *\n"
                                           "IGNORE gantry.txt\nGANTRY_END\n")
                        .Add("@beta/addons/beta.pbo", "beta")
                        .Write(server / "beta.zip"));
        game.Write("IRONVALEUPRISING.EXE", "MZ");
        game.Write("AddOns/alpha.pbo", "alpha");
        game.Write("@beta/addons/beta.pbo", "beta");
    }

    ProgramResult Launch(std::vector<std::string> args) {
        std::vector<std::string> all = {"launch", "--data", data.Path().string(), "--game",
                                        game.Path()};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(QUILLORY_CLI_PATH, all, 120s);
    }

    void SaveSettings(const std::vector<SavedEntry>& entries) {
        ASSERT_TRUE(WriteFileBytes(data.Path() / "quillory.sav", SettingsBytes(entries, "")));
    }

    // A wine stand-in on the PATH that writes its working folder and arguments, one a line.
    std::string InstallRecordingWine() {
        const std::string record = (records.Path() / "wine.txt").string();
        std::ofstream script(bin.Path() / "wine");
        script << "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '"
               << record << ".part'\nmv '" << record << ".part' '" << record << "'\n";
        script.close();
        std::filesystem::permissions(bin.Path() / "wine", std::filesystem::perms::owner_all);
        return record;
    }

    static std::vector<std::string> AwaitLines(const std::string& path) {
        WaitFor([&] { return std::filesystem::exists(path); }, 20s);
        std::vector<std::string> lines;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    // What a dry run prints: the command that really runs, wine in front of the game.
    std::string Expected(int port, const std::string& switches) const {
        return (bin.Path() / "wine").string() + " " + game.Path() +
               "IRONVALEUPRISING.EXE -nosplash -connect=127.0.0.1 -port=" + std::to_string(port) +
               switches + "\n";
    }

    ScratchFolder server, data, bin, records;
    TempGameFolder game;
};

TEST_F(LaunchCliTest, DryRunPrintsTheCommandLineFromTheSavedEntry) {
    CSimRun sim({"--password-flag", "--gantry", server.Path().string(), "--gantry-password", "pw"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    SaveSettings({{"other:2302", "nope", "Other", "-x", true},
                  {sim.Address(), "pw", "Sim", "-mod=@old -world=empty -MOD=@older", true}});

    const std::string record = InstallRecordingWine();
    ScopedEnv path("PATH", bin.Path().string() + ":/usr/bin:/bin");

    ProgramResult r = Launch({"--dry-run", sim.Address()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Expected(sim.Port(), " -password=pw -world=empty -mod=@beta"));
    EXPECT_FALSE(std::filesystem::exists(record)) << "a dry run starts nothing";
    // A dry run changes nothing: no database is written.
    EXPECT_FALSE(std::filesystem::exists(data.Path() / "quillory.dat"));

    // The command line wins over the entry; automatic mods off keeps the words as given.
    r = Launch({"--dry-run", "--no-auto-mods", "--params", "-mod=\"@a b\" -nomap", "--password",
                "pw", sim.Address()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The game gets the words as the command-line tokenizer splits them, quotes gone.
    EXPECT_EQ(r.out, Expected(sim.Port(), " -password=pw -mod= '@a b' -nomap"));
}

TEST_F(LaunchCliTest, DryRunFailsWhereTheStartWould) {
    CSimRun sim({"--version", "196"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    InstallRecordingWine();
    struct Case {
        const char* what;
        std::string path;
        bool removeGame;
        int exitCode;
        std::string err;
    } cases[] = {
        {"everything there", bin.Path().string(), false, 0, ""},
        {"no wine", records.Path().string(), false, 1,
         "Could not start Ironvale Uprising: wine is not on the PATH\n"},
        {"no executable", bin.Path().string(), true, 1,
         "Could not start Ironvale Uprising: " + game.Path() +
             "IRONVALEUPRISING.EXE: no such file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv path("PATH", c.path);
        if (c.removeGame)
            game.Remove("IRONVALEUPRISING.EXE");
        ProgramResult r = Launch({"--dry-run", "--no-auto-mods", sim.Address()});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.exitCode == 0 ? Expected(sim.Port(), "") : "");
    }
}

TEST_F(LaunchCliTest, StartsTheGameThroughWineInTheGameFolder) {
    CSimRun sim({"--password-flag", "--gantry", server.Path().string(), "--gantry-password", "pw"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    const std::string record = InstallRecordingWine();
    ScopedEnv path("PATH", bin.Path().string() + ":/usr/bin:/bin");

    ProgramResult r = Launch({"--password", "pw", "--params", "-world=empty", sim.Address()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    auto lines = AwaitLines(record);
    ASSERT_EQ(lines.size(), 8u) << r.err;
    EXPECT_EQ(std::filesystem::path(lines[0]), std::filesystem::canonical(game.Path()));
    EXPECT_EQ(lines[1], game.Path() + "IRONVALEUPRISING.EXE");
    EXPECT_EQ(lines[2], "-nosplash");
    EXPECT_EQ(lines[3], "-connect=127.0.0.1");
    EXPECT_EQ(lines[4], "-port=" + std::to_string(sim.Port()));
    EXPECT_EQ(lines[5], "-password=pw");
    EXPECT_EQ(lines[6], "-world=empty");
    EXPECT_EQ(lines[7], "-mod=@beta");
    // Leaving as the program does, the database is saved.
    EXPECT_TRUE(std::filesystem::exists(data.Path() / "quillory.dat"));
}

TEST_F(LaunchCliTest, MissingPackagesStopTheLaunchUnlessForced) {
    game.Remove("@beta/addons/beta.pbo");
    CSimRun sim({"--gantry", server.Path().string()});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();

    InstallRecordingWine();
    ScopedEnv path("PATH", bin.Path().string() + ":/usr/bin:/bin");

    ProgramResult r = Launch({"--dry-run", "--password", "pw", sim.Address()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Beta\tNo file installed"), std::string::npos) << r.err;

    r = Launch({"--dry-run", "--force", "--password", "pw", sim.Address()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The server is not locked: its password stays at home.
    EXPECT_EQ(r.out, Expected(sim.Port(), ""));
}

// Only packages flagged for download (Recommended 4-6, Required 7-10) stop the launch; a missing
// Optional one is told and the game starts.
TEST_F(LaunchCliTest, OnlyPackagesFlaggedForDownloadStopTheLaunch) {
    game.Remove("@beta/addons/beta.pbo");
    struct Case {
        int priority;
        int exitCode;
        const char* heading;
    } cases[] = {
        {0, 0, "Optional packages not installed (not needed to play):\n"},
        {3, 0, "Optional packages not installed (not needed to play):\n"},
        {4, 1, "You are missing files required to play on this server:\n"},
        {10, 1, "You are missing files required to play on this server:\n"},
    };
    InstallRecordingWine();
    ScopedEnv path("PATH", bin.Path().string() + ":/usr/bin:/bin");
    for (const Case& c : cases) {
        SCOPED_TRACE("priority " + std::to_string(c.priority));
        ASSERT_TRUE(WriteFileBytes(server / "offer.ini",
                                   "[beta.zip]\npriority = " + std::to_string(c.priority) + "\n"));
        CSimRun sim({"--gantry", server.Path().string()});
        ASSERT_TRUE(sim.Listening()) << sim.Process().Err();

        ProgramResult r = Launch({"--dry-run", "--password", "pw", sim.Address()});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(std::string(c.heading) + "  Beta\tNo file installed\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out, c.exitCode == 0 ? Expected(sim.Port(), "") : std::string());
    }
}

TEST_F(LaunchCliTest, FailuresHaveTheirTextsAndExitCodes) {
    CSimRun sim({"--version", "150"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ScopedEnv path("PATH", bin.Path().string());
    game.Write("IRONVALE.EXE", "MZ");

    ProgramResult r = Launch({sim.Address()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Could not start Ironvale: wine is not on the PATH\n");

    r = Launch({"--dry-run", "no-such-host!:2302"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Bad address\n");

    r = Launch({"--dry-run", "127.0.0.1:" + std::to_string(FreePortBlock(2))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No reply from"), std::string::npos) << r.err;

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {}, {"--params"}, {"--bogus", sim.Address()}, {sim.Address(), sim.Address()}}) {
        r = Launch(bad);
        EXPECT_EQ(r.exitCode, 2) << (bad.empty() ? "" : bad[0]);
    }
}

} // namespace
