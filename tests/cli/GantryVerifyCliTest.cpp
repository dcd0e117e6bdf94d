// quillory-cli gantry verify against a real temporary game folder: it reports what differs and
// leaves the database file and the game folder exactly as they were.
#include "tests/support/ChildProcess.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <zlib.h>

using namespace quillory::test;
using nlohmann::json;

namespace {

std::string Hex8(std::string_view bytes) {
    const auto crc = static_cast<uint32_t>(
        ::crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

class GantryVerifyCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.Write("Ironvale.exe", "core exe");
        game.Write("AddOns/tank.pbo", "tank");
        game.Write("AddOns/gun.pbo", "gun");
        game.Write("@Mod/addons/unit.pbo", "unit");
        ASSERT_EQ(Gantry({"create", "Tanks"}).exitCode, 0);
        ASSERT_EQ(Gantry({"bind", "Tanks", "AddOns/tank.pbo", "AddOns/gun.pbo"}).exitCode, 0);
        ASSERT_EQ(Gantry({"create", "Units"}).exitCode, 0);
        ASSERT_EQ(Gantry({"bind", "Units", "@Mod/addons/unit.pbo"}).exitCode, 0);
    }

    ProgramResult Gantry(std::vector<std::string> args) {
        std::vector<std::string> all = {"gantry", "--data", data.Path(), "--game", game.Path()};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(QUILLORY_CLI_PATH, all);
    }

    TempGameFolder game;
    TempGameFolder data;
};

TEST_F(GantryVerifyCliTest, AllMatchingExitsZero) {
    ProgramResult result = Gantry({"verify"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Verified 3 files of 2 packages: 3 match, 0 differ"),
              std::string::npos)
        << result.out;
}

TEST_F(GantryVerifyCliTest, ReportsDifferencesAndChangesNothing) {
    game.Write("AddOns/tank.pbo", "TANK"); // same size, other content
    game.Remove("AddOns/gun.pbo");
    game.Move("@Mod/addons/unit.pbo", "@Mod/addons/unit.pbx");
    game.Write("AddOns/new.pbo", "new"); // a scan would add it; verify must not
    const std::string database = data.Read("quillory.dat");

    ProgramResult result = Gantry({"verify", "--json"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const json report = json::parse(result.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << result.out;
    EXPECT_EQ(report["packages"], 2);
    EXPECT_EQ(report["files"], 3);
    EXPECT_EQ(report["matched"], 0);
    const json& d = report["differences"];
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0]["kind"], "changed");
    EXPECT_EQ(d[0]["package"], "Tanks");
    EXPECT_EQ(d[0]["path"], "AddOns\\tank.pbo");
    EXPECT_EQ(d[0]["storedCrc"], Hex8("tank"));
    EXPECT_EQ(d[0]["foundCrc"], Hex8("TANK"));
    EXPECT_EQ(d[0]["storedSize"], 4);
    EXPECT_EQ(d[0]["foundSize"], 4);
    EXPECT_EQ(d[1]["kind"], "missing");
    EXPECT_EQ(d[1]["path"], "AddOns\\gun.pbo");
    EXPECT_EQ(d[2]["kind"], "inactiveOnly");
    EXPECT_EQ(d[2]["foundName"], "unit.pbx");

    EXPECT_EQ(data.Read("quillory.dat"), database);
    EXPECT_EQ(game.Read("AddOns/tank.pbo"), "TANK");
    EXPECT_TRUE(game.Exists("@Mod/addons/unit.pbx"));
    EXPECT_FALSE(game.Exists("@Mod/addons/unit.pbo"));

    ProgramResult text = Gantry({"verify", "units"});
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_NE(text.out.find("Inactive only: @Mod\\addons\\unit.pbo (Units): present as unit.pbx"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find("tank"), std::string::npos) << "only the package named";
}

TEST_F(GantryVerifyCliTest, BadUsageExitsTwo) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"verify", "Nope"},
                                                 {"verify", "--bogus"},
                                                 {"verify", "Tanks", "Nope"}}) {
        ProgramResult result = Gantry(args);
        EXPECT_EQ(result.exitCode, 2) << args.back();
        EXPECT_EQ(result.out, "") << args.back();
    }
}

} // namespace
