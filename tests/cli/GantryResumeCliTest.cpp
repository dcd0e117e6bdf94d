// quillory-cli gantry sync against a package host that breaks off, ignores ranges, changes the
// archive between attempts or is busy: the download is retried and continued, and the package
// installs whole.
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SimRun.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <regex>

using namespace quillory::test;

namespace {

std::string Noise(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = char(rng());
    return bytes;
}

// The body bytes the package host reports on its last line, -1 when it did not.
int64_t BytesSent(CSimRun& sim) {
    EXPECT_EQ(sim.Stop(), 0);
    std::smatch match;
    const std::string& out = sim.Process().Out();
    if (!std::regex_search(out, match, std::regex("package host: sent ([0-9]+) body bytes")))
        return -1;
    return std::stoll(match[1]);
}

class GantryResumeCliTest : public ::testing::Test {
protected:
    static constexpr size_t kPayload = 600000;

    void SetUp() override {
        // Stored noise: the archive is as big as its content, and any wrong byte shows.
        ASSERT_TRUE(
            ZipBuilder().Add("big.pbo", Noise(kPayload, 3), {}, false).Write(server / "big.zip"));
        ASSERT_TRUE(ZipBuilder()
                        .Add("big.pbo", Noise(kPayload + 100, 4), {}, false)
                        .Write(other / "big.zip"));
        ASSERT_TRUE(ReadFileBytes(server / "big.zip", archive));
        // The changed archive is older on disk too, so its date differs as well as its tag.
        std::filesystem::last_write_time(other / "big.zip",
                                         std::filesystem::last_write_time(server / "big.zip") - 1h);
        game.Write("IRONVALE.EXE", "exe");
    }

    std::vector<std::string> Sync(const std::string& address) const {
        return {"gantry", "--data", data.Path().string(), "--game", game.Path(), "sync", address};
    }
    ProgramResult RunSync(const std::string& address) const {
        return RunProgram(QUILLORY_CLI_PATH, Sync(address), 180s);
    }

    bool InstalledIs(unsigned seed, size_t size) const {
        return game.Exists("addons/big.pbo") && game.Read("addons/big.pbo") == Noise(size, seed);
    }

    std::string PartialPath() const { return (data.Path() / "big.tmp").string(); }

    ScratchFolder server;
    ScratchFolder other;
    ScratchFolder data;
    TempGameFolder game;
    std::string archive;
};

TEST_F(GantryResumeCliTest, ABrokenOffBodyIsContinuedFromWhereItStopped) {
    // Guarded by the tag, by the date, or by both.
    for (const char* validators : {"both", "etag", "last-modified"}) {
        SCOPED_TRACE(validators);
        ScratchFolder freshData;
        TempGameFolder freshGame;
        freshGame.Write("IRONVALE.EXE", "exe");
        CSimRun sim({"--gantry", server.Path().string(), "--http-port", CSimRun::kHttpPort,
                     "--http-cut-once", "big.zip", "--http-validators", validators, "--verbose"});
        ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
        ProgramResult r = RunProgram(QUILLORY_CLI_PATH,
                                     {"gantry", "--data", freshData.Path().string(), "--game",
                                      freshGame.Path(), "sync", sim.Address()},
                                     180s);
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(freshGame.Read("addons/big.pbo"), Noise(kPayload, 3));
        const int64_t sent = BytesSent(sim);
        EXPECT_EQ(sent, int64_t(archive.size())) << "half, then the other half";
        EXPECT_NE(sim.Process().Err().find("/big.zip: 206"), std::string::npos)
            << sim.Process().Err();
        EXPECT_TRUE(std::filesystem::is_empty(freshData.Path()) ||
                    !std::filesystem::exists(freshData.Path() / "big.tmp"));
    }
}

TEST_F(GantryResumeCliTest, WhatCannotBeContinuedStartsOver) {
    struct Case {
        std::vector<std::string> options;
        unsigned seed;
        size_t size;
    };
    const std::string changed = "big.zip:" + (other / "big.zip");
    const Case cases[] = {
        // The server ignores the range and sends the whole file again.
        {{"--http-no-range"}, 3, kPayload},
        // The archive changed between the attempts: If-Range fails, the new one comes whole.
        {{"--http-change", changed}, 4, kPayload + 100},
        {{"--http-change", changed, "--http-validators", "last-modified"}, 4, kPayload + 100},
        // Nothing to guard a range with: never asked for one.
        {{"--http-validators", "none"}, 3, kPayload},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.back());
        ScratchFolder freshData;
        TempGameFolder freshGame;
        freshGame.Write("IRONVALE.EXE", "exe");
        std::vector<std::string> args = {"--gantry",         server.Path().string(), "--http-port",
                                         CSimRun::kHttpPort, "--http-cut-once",      "big.zip",
                                         "--verbose"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        CSimRun sim(args);
        ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
        ProgramResult r = RunProgram(QUILLORY_CLI_PATH,
                                     {"gantry", "--data", freshData.Path().string(), "--game",
                                      freshGame.Path(), "sync", sim.Address()},
                                     180s);
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_TRUE(freshGame.Exists("addons/big.pbo"));
        EXPECT_EQ(freshGame.Read("addons/big.pbo"), Noise(c.size, c.seed));
        const int64_t sent = BytesSent(sim);
        EXPECT_GT(sent, int64_t(archive.size())) << "half, then the whole";
        EXPECT_EQ(sim.Process().Err().find(": 206"), std::string::npos) << sim.Process().Err();
    }
}

TEST_F(GantryResumeCliTest, ABusyServerIsAskedAgain) {
    CSimRun sim({"--gantry", server.Path().string(), "--http-port", CSimRun::kHttpPort,
                 "--http-busy-once", "big.zip", "--verbose"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ProgramResult r = RunSync(sim.Address());
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(InstalledIs(3, kPayload));
    EXPECT_EQ(BytesSent(sim), int64_t(archive.size()));
    EXPECT_NE(sim.Process().Err().find("/big.zip: 503"), std::string::npos);
}

TEST_F(GantryResumeCliTest, AlwaysBrokenIsTriedThreeTimesMoreAndKeptForLater) {
    CSimRun sim({"--gantry", server.Path().string(), "--http-port", CSimRun::kHttpPort,
                 "--http-cut", "big.zip", "--verbose"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ProgramResult r = RunSync(sim.Address());
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_FALSE(game.Exists("addons/big.pbo"));
    const int64_t sent = BytesSent(sim);
    const std::string& log = sim.Process().Err();
    size_t asked = 0;
    for (size_t at = log.find("GET /big.zip"); at != std::string::npos;
         at = log.find("GET /big.zip", at + 1))
        ++asked;
    EXPECT_EQ(asked, 4u) << log;
    EXPECT_EQ(sent, int64_t(archive.size() / 2)); // the later attempts had nothing to add
    // What arrived stays for the next run.
    std::error_code ec;
    EXPECT_EQ(std::filesystem::file_size(PartialPath(), ec), archive.size() / 2);
}

TEST_F(GantryResumeCliTest, APartialFileLeftByACancelOrACrashIsContinuedNextTime) {
    for (int signal : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(signal);
        ScratchFolder freshData;
        TempGameFolder freshGame;
        freshGame.Write("IRONVALE.EXE", "exe");
        // About 6 s for the whole archive: time to stop it part-way.
        CSimRun sim({"--gantry", server.Path().string(), "--http-port", CSimRun::kHttpPort,
                     "--http-rate", "100000", "--verbose"});
        ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
        const std::vector<std::string> args = {
            "gantry", "--data",     freshData.Path().string(), "--game", freshGame.Path(),
            "sync",   sim.Address()};
        const std::string partial = (freshData.Path() / "big.tmp").string();
        CChildProcess first;
        ASSERT_TRUE(first.Start(QUILLORY_CLI_PATH, args));
        ASSERT_TRUE(WaitFor(
            [&] {
                std::error_code ec;
                return std::filesystem::file_size(partial, ec) > 100000 && !ec;
            },
            60s));
        first.Stop(signal);
        std::error_code ec;
        const uint64_t kept = std::filesystem::file_size(partial, ec);
        ASSERT_FALSE(ec) << "the partial file stays";
        EXPECT_GT(kept, 100000u);
        EXPECT_LT(kept, archive.size());

        ProgramResult second = RunProgram(QUILLORY_CLI_PATH, args, 180s);
        EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
        EXPECT_EQ(freshGame.Read("addons/big.pbo"), Noise(kPayload, 3));
        EXPECT_FALSE(std::filesystem::exists(partial));
        const int64_t sent = BytesSent(sim);
        EXPECT_NE(sim.Process().Err().find("/big.zip: 206"), std::string::npos);
        // What was in flight when it stopped may come twice, nothing more.
        EXPECT_LT(sent, int64_t(archive.size() + archive.size() / 4));
    }
}

} // namespace
