// Ctrl-C or SIGTERM while quillory-cli gantry install works: the archive in hand is undone, the
// ones installed before it stay, the database is saved and the exit code is 130.
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>

using namespace quillory::test;
using nlohmann::json;

namespace {

// Enough small files that the install is still under way when the signal comes.
constexpr int kManyFiles = 20000;

std::vector<std::string> PackageNames(const std::string& out) {
    std::vector<std::string> names;
    const json rows = json::parse(out, nullptr, false);
    if (rows.is_array())
        for (const json& row : rows)
            if (row.is_object() && row.contains("package"))
                names.push_back(row["package"].get<std::string>());
    return names;
}

TEST(InstallInterruptCli, AStopUndoesTheArchiveInHandAndKeepsTheOnesBefore) {
    ScratchFolder archives;
    ASSERT_TRUE(ZipBuilder().Add("first.pbo", "first").Write(archives / "first.zip"));
    ZipBuilder many;
    many.Add("gantry.txt", "GANTRY_START\nINSTALLPATH *\nGANTRY_END\n");
    for (int i = 0; i < kManyFiles; ++i)
        many.Add("many/f" + std::to_string(i) + ".txt", std::to_string(i), {}, false);
    ASSERT_TRUE(many.Write(archives / "many.zip"));

    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        TempGameFolder game;
        TempGameFolder data;
        game.Write("Ironvale.exe", "exe");
        const std::vector<std::string> base = {"gantry", "--data", data.Path(), "--game",
                                               game.Path()};
        auto command = [&](std::vector<std::string> args) {
            args.insert(args.begin(), base.begin(), base.end());
            return args;
        };
        ASSERT_EQ(RunProgram(QUILLORY_CLI_PATH, command({"scan"})).exitCode, 0);

        CChildProcess cli;
        ASSERT_TRUE(cli.Start(QUILLORY_CLI_PATH,
                              command({"install", archives / "first.zip", archives / "many.zip"})));
        // The second archive has begun once its folder is there.
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!game.Exists("many") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(game.Exists("many")) << "the second install never began";
        EXPECT_EQ(cli.Stop(signal), 130) << cli.Err();

        EXPECT_FALSE(game.Exists("many"));
        EXPECT_EQ(game.Read("addons/first.pbo"), "first");
        ProgramResult packages = RunProgram(QUILLORY_CLI_PATH, command({"packages", "--json"}));
        ASSERT_EQ(packages.exitCode, 0) << packages.err;
        const std::vector<std::string> names = PackageNames(packages.out);
        EXPECT_NE(std::find(names.begin(), names.end(), "first"), names.end()) << packages.out;
        EXPECT_EQ(std::find(names.begin(), names.end(), "many"), names.end()) << packages.out;
        EXPECT_NE(cli.Err().find("cancelled"), std::string::npos) << cli.Err();
    }
}

TEST(InstallInterruptCli, AKilledInstallLeavesALoadableDatabaseAndARerunCompletes) {
    ScratchFolder archives;
    ZipBuilder many;
    many.Add("gantry.txt", "GANTRY_START\nPACKAGE Many\nINSTALLPATH *\nGANTRY_END\n");
    for (int i = 0; i < kManyFiles; ++i)
        many.Add("many/f" + std::to_string(i) + ".txt", std::to_string(i), {}, false);
    ASSERT_TRUE(many.Write(archives / "many.zip"));
    TempGameFolder game;
    TempGameFolder data;
    game.Write("Ironvale.exe", "exe");
    const std::vector<std::string> base = {"gantry", "--data", data.Path(), "--game", game.Path()};
    auto command = [&](std::vector<std::string> args) {
        args.insert(args.begin(), base.begin(), base.end());
        return args;
    };
    ASSERT_EQ(RunProgram(QUILLORY_CLI_PATH, command({"scan"})).exitCode, 0);

    CChildProcess cli;
    ASSERT_TRUE(cli.Start(QUILLORY_CLI_PATH, command({"install", archives / "many.zip"})));
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!game.Exists("many") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(game.Exists("many"));
    cli.Stop(SIGKILL);

    ProgramResult again =
        RunProgram(QUILLORY_CLI_PATH, command({"install", archives / "many.zip"}), 300s);
    EXPECT_EQ(again.exitCode, 0) << again.err.substr(0, 2000);
    for (int i : {0, kManyFiles / 2, kManyFiles - 1})
        EXPECT_EQ(game.Read("many/f" + std::to_string(i) + ".txt"), std::to_string(i)) << i;
    ProgramResult packages = RunProgram(QUILLORY_CLI_PATH, command({"packages", "--json"}));
    ASSERT_EQ(packages.exitCode, 0) << packages.err;
    const std::vector<std::string> names = PackageNames(packages.out);
    EXPECT_NE(std::find(names.begin(), names.end(), "Many"), names.end()) << packages.out;
}

} // namespace
