// The description transfer of quillory-cli gantry offered against a Gantry server that loses
// chunks: lost ones are asked for again; ones that never come end in "Timeout".

#include "tests/support/ScratchFolder.h"
#include "tests/support/SimRun.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace quillory::test;
using nlohmann::json;

namespace {

class CliGantryTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string name : {"north", "south", "west"})
            ASSERT_TRUE(ZipBuilder()
                            .Add(name + ".pbo", "island " + name)
                            .Add("docs/" + name + ".txt", "about " + name)
                            .Write(server / (name + ".zip")));
        game.Write("Ironvale.exe", "exe");
    }

    // Small chunks make many of them, so that a share of them is many chunks.
    ProgramResult Offered(const std::vector<std::string>& simArgs) {
        std::vector<std::string> args = {"--gantry", server.Path().string(), "--gantry-chunk-size",
                                         "16"};
        args.insert(args.end(), simArgs.begin(), simArgs.end());
        CSimRun sim(args);
        EXPECT_TRUE(sim.Listening()) << sim.Process().Err();
        return RunProgram(QUILLORY_CLI_PATH,
                          {"gantry", "--data", data.Path().string(), "--game", game.Path(),
                           "offered", "--json", sim.Address()},
                          120s);
    }

    ScratchFolder server;
    ScratchFolder data;
    TempGameFolder game;
};

} // namespace

TEST_F(CliGantryTransfer, LostChunksAreAskedForAgain) {
    ProgramResult r = Offered({"--gantry-drop", "60", "--seed", "4"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    json out = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(out.is_discarded()) << r.out;
    ASSERT_EQ(out["packages"].size(), 3u);
    for (const json& p : out["packages"])
        EXPECT_EQ(p["statusText"], "No file installed") << p.dump();
}

TEST_F(CliGantryTransfer, ChunksThatNeverComeEndInTimeout) {
    ProgramResult r = Offered({"--gantry-drop", "30", "--gantry-drop-always"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Gantry: Timeout"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}
