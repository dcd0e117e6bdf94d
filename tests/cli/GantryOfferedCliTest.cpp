// quillory-cli gantry offered against quillory-sim's Gantry server and a real game folder.
#include "tests/support/ScratchFolder.h"
#include "tests/support/SimRun.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>

using namespace quillory::test;
using nlohmann::json;

namespace {

std::string ToMod(const std::string& package, const std::string& folder) {
    return "GANTRY_START\r\nPACKAGE " + package + "\r\nINSTALL *.pbo " + folder +
           "\r\nGANTRY_END\r\n";
}

// Five archives: one installed, one in part, one not at all, one in a mod folder, and one
// whose file lies in the mod folder instead of "AddOns".
void FillServer(const ScratchFolder& folder) {
    ASSERT_TRUE(ZipBuilder().Add("one.pbo", "one").Write(folder / "one.zip"));
    ASSERT_TRUE(ZipBuilder()
                    .Add("twoa.pbo", "2a")
                    .Add("twob.pbo", "2b")
                    .Add("twoc.pbo", "2c")
                    .Write(folder / "two.zip"));
    ASSERT_TRUE(ZipBuilder().Add("three.pbo", "3").Write(folder / "three.zip"));
    ASSERT_TRUE(ZipBuilder()
                    .Add("gantry.txt", ToMod("vale", "@vale/addons/"))
                    .Add("vale.pbo", "vale")
                    .Write(folder / "vale.zip"));
    ASSERT_TRUE(ZipBuilder().Add("four.pbo", "four").Write(folder / "four.zip"));
    ASSERT_TRUE(WriteFileBytes(folder.Path() / "offer.ini", "name = Vale Coop\n"
                                                            "info = Friday nights\n"
                                                            "admin = Ros\n"
                                                            "teamspeak = 127.0.0.1\n"
                                                            "[one.zip]\npriority = 7\n"
                                                            "[two.zip]\npriority = 4\n"
                                                            "[three.zip]\npriority = 2\n"
                                                            "[vale.zip]\npriority = 9\n"
                                                            "[four.zip]\npriority = 5\n"));
}

class GantryOfferedCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        FillServer(server);
        game.Write("IRONVALE.EXE", "exe");
        game.Write("AddOns/one.pbo", "one");
        game.Write("AddOns/twoa.pbo", "2a");
        game.Write("AddOns/twob.pbo", "2b");
        game.Write("@vale/addons/vale.pbo", "vale");
        game.Write("@vale/addons/four.pbo", "four");
    }

    ProgramResult Offered(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"gantry", "--data",    data.Path().string(),
                                        "--game", game.Path(), "offered"};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(QUILLORY_CLI_PATH, all, 120s);
    }

    ScratchFolder server;
    ScratchFolder data;
    TempGameFolder game;
};

TEST_F(GantryOfferedCliTest, ShowsEachPackageAgainstTheInstallation) {
    CSimRun sim({"--gantry", server.Path().string(), "--http-base", "http://127.0.0.1:9/iv"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ProgramResult r = Offered({"--json", sim.Address()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    json out = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(out.is_discarded()) << r.out;

    EXPECT_EQ(out["server"]["name"], "Vale Coop");
    EXPECT_EQ(out["server"]["teamspeak"], "127.0.0.1");
    struct Row {
        const char *status, *priority, *action;
    };
    std::map<std::string, Row> expected = {
        {"one", {"Files installed", "Required", ""}},
        {"two", {"Missing files", "Recommended", "Download"}},
        {"three", {"No file installed", "Optional", ""}},
        {"vale", {"Files installed", "Required", ""}},
        {"four", {"Installed path differ", "Recommended", ""}},
    };
    ASSERT_EQ(out["packages"].size(), expected.size()) << r.out;
    for (const json& p : out["packages"]) {
        SCOPED_TRACE(p.dump());
        auto row = expected.find(p["name"]);
        ASSERT_NE(row, expected.end());
        EXPECT_EQ(p["statusText"], row->second.status);
        EXPECT_EQ(p["priorityText"], row->second.priority);
        EXPECT_EQ(p["action"], row->second.action);
        EXPECT_EQ(p["archive"], "http://127.0.0.1:9/iv/" + p["name"].get<std::string>() + ".zip");
    }
    EXPECT_EQ(out["mods"], "@vale");
    EXPECT_EQ(out["toDownload"], std::filesystem::file_size(server / "two.zip"));
    EXPECT_EQ(out["toDownloadText"], "0.00 MB to download");

    // The description is kept beside the database, and the next run reads the same from it.
    bool cached = false;
    for (const auto& entry : std::filesystem::directory_iterator(data.Path()))
        cached = cached || entry.path().extension() == ".description";
    EXPECT_TRUE(cached);
    ProgramResult again = Offered({"--json", sim.Address()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(json::parse(again.out, nullptr, false), out);
}

TEST_F(GantryOfferedCliTest, TextOutputHasTheServerViewColumns) {
    CSimRun sim({"--gantry", server.Path().string()});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ProgramResult r = Offered({sim.Address()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* text : {"Name: Vale Coop\n", "Info: Friday nights\n", "Admin: Ros\n",
                             "Teamspeak: 127.0.0.1\n", "Package", "Priority", "Status", "Zip size",
                             "Action", "Mods: @vale\n", " MB to download\n"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
}

TEST_F(GantryOfferedCliTest, FailuresExitWithTheGantryState) {
    CSimRun sim({"--gantry", server.Path().string(), "--gantry-password", "s3cret"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    ProgramResult refused = Offered({"--password", "wrong", sim.Address()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Psw fail"), std::string::npos) << refused.err;
    ProgramResult right = Offered({"--password", "s3cret", sim.Address()});
    EXPECT_EQ(right.exitCode, 0) << right.err;

    CSimRun plain({}); // a game server without a Gantry server
    ASSERT_TRUE(plain.Listening()) << plain.Process().Err();
    ProgramResult none = Offered({plain.Address()});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("Gantry: No"), std::string::npos) << none.err;

    EXPECT_EQ(Offered({}).exitCode, 2);
    EXPECT_EQ(Offered({"--bogus", sim.Address()}).exitCode, 2);
    EXPECT_EQ(Offered({"host:99999"}).exitCode, 2);
}

} // namespace
