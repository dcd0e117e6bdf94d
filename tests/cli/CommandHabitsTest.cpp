// The habits every program and command shares: --help and --version on stdout with exit code 0,
// errors on stderr with the program's name first; and where quillory-cli gantry finds its
// database when --data is not given.
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace quillory::test;

namespace {

constexpr const char* kVersion = "0.9.6.3";

ProgramResult Cli(const std::vector<std::string>& args) {
    return RunProgram(QUILLORY_CLI_PATH, args);
}

// The second word of every "quillory-cli WORD" line of a usage, and the first word of every
// indented line after "commands:" for the gantry usage.
std::vector<std::string> CommandsIn(const std::string& usage, bool gantry) {
    std::vector<std::string> names;
    std::istringstream lines(usage);
    bool inCommands = false;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first, second, third;
        words >> first >> second >> third;
        if (gantry) {
            if (inCommands && line.starts_with("  "))
                names.push_back(first);
            inCommands = inCommands || line == "commands:";
            continue;
        }
        const std::string name = first == "usage:" ? third : second;
        if ((first == "usage:" || first == "quillory-cli") && !name.empty() && name != "--help")
            names.push_back(name);
    }
    return names;
}

void ExpectUsage(const ProgramResult& r, const std::string& mention, const std::string& what) {
    EXPECT_EQ(r.exitCode, 0) << what << "\n" << r.err;
    EXPECT_TRUE(r.out.starts_with("usage: ")) << what << "\n" << r.out;
    EXPECT_NE(r.out.find(mention), std::string::npos) << what << "\n" << r.out;
    EXPECT_EQ(r.err, "") << what;
}

void ExpectVersion(const ProgramResult& r, const std::string& program, const std::string& what) {
    EXPECT_EQ(r.exitCode, 0) << what << "\n" << r.err;
    EXPECT_EQ(r.out, program + " " + kVersion + "\n") << what;
    EXPECT_EQ(r.err, "") << what;
}

} // namespace

TEST(CommandHabits, EveryCommandAnswersHelpAndVersion) {
    const ProgramResult top = Cli({"--help"});
    ExpectUsage(top, "quillory-cli gantry", "--help");
    ExpectVersion(Cli({"--version"}), "quillory-cli", "--version");
    const std::vector<std::string> commands = CommandsIn(top.out, false);
    ASSERT_GE(commands.size(), 6u) << top.out;
    for (const std::string& command : commands) {
        ExpectUsage(Cli({command, "--help"}), "quillory-cli " + command, command + " --help");
        ExpectUsage(Cli({"help", command}), "quillory-cli " + command, "help " + command);
        ExpectVersion(Cli({command, "--version"}), "quillory-cli", command + " --version");
    }
}

TEST(CommandHabits, EveryGantryCommandAnswersHelpAndVersion) {
    const ProgramResult gantry = Cli({"gantry", "--help"});
    ExpectUsage(gantry, "--data DIR", "gantry --help");
    const std::vector<std::string> commands = CommandsIn(gantry.out, true);
    ASSERT_GE(commands.size(), 15u) << gantry.out;
    // Answered before any folder is looked at: these folders do not exist.
    const std::vector<std::string> options = {"gantry", "--data", "/nonexistent/quillory", "--game",
                                              "/nonexistent/game"};
    for (const std::string& command : commands) {
        std::vector<std::string> help = options;
        help.insert(help.end(), {command, "--help"});
        ExpectUsage(Cli(help), "gantry [--game DIR] [--data DIR] " + command, command + " --help");
        std::vector<std::string> version = options;
        version.insert(version.end(), {command, "--version"});
        ExpectVersion(Cli(version), "quillory-cli", command + " --version");
    }
}

TEST(CommandHabits, SimulatorAnswersHelpAndVersion) {
    ExpectUsage(RunProgram(QUILLORY_SIM_PATH, {"--help"}), "--gantry DIR", "sim --help");
    ExpectVersion(RunProgram(QUILLORY_SIM_PATH, {"--version"}), "quillory-sim", "sim --version");
    // Followed by a number it still sets the simulated server's version.
    const ProgramResult bad = RunProgram(QUILLORY_SIM_PATH, {"--version", "x"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("bad value 'x' for --version"), std::string::npos) << bad.err;
}

TEST(CommandHabits, ErrorsGoToStderrUnderTheProgramsName) {
    struct Case {
        const char* program;
        std::vector<std::string> args;
        const char* name;
    };
    const Case cases[] = {
        {QUILLORY_CLI_PATH, {}, "quillory-cli"},
        {QUILLORY_CLI_PATH, {"frobnicate"}, "quillory-cli: unknown command 'frobnicate'"},
        {QUILLORY_CLI_PATH, {"help", "frobnicate"}, "quillory-cli: unknown command 'frobnicate'"},
        {QUILLORY_CLI_PATH, {"query", "--bogus", "127.0.0.1"}, "quillory-cli: "},
        {QUILLORY_CLI_PATH, {"news", "--timeout"}, "quillory-cli: "},
        {QUILLORY_CLI_PATH, {"gantry", "--bogus"}, "quillory-cli: unknown option --bogus"},
        {QUILLORY_CLI_PATH, {"gantry", "frobnicate"}, "quillory-cli: unknown gantry command"},
        {QUILLORY_SIM_PATH, {"--bogus"}, "quillory-sim: unknown option '--bogus'"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = RunProgram(c.program, c.args);
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        // Without arguments the usage alone says what is wrong.
        const std::string expected = c.args.empty() ? "usage: quillory-cli" : c.name;
        EXPECT_TRUE(r.err.starts_with(expected)) << r.err;
    }
}

// quillory-cli gantry without --data, run in `cwd` with XDG_DATA_HOME set to `dataHome`.
class GantryDataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.Write("Ironvale.exe", "core exe");
        game.Write("AddOns/tank.pbo", "tank");
        std::filesystem::create_directory(cwd.Path() / "here");
    }

    ProgramResult GantryIn(const std::filesystem::path& folder, std::vector<std::string> args) {
        std::vector<std::string> all = {"-C",
                                        folder.string(),
                                        "XDG_DATA_HOME=" + dataHome.Path().string(),
                                        QUILLORY_CLI_PATH,
                                        "gantry",
                                        "--game",
                                        game.Path()};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram("/usr/bin/env", all);
    }

    // Creates the package `name` in the database of `folder`, given with --data.
    void CreateIn(const std::filesystem::path& folder, const std::string& name) {
        const ProgramResult r =
            RunProgram(QUILLORY_CLI_PATH, {"gantry", "--data", folder.string(), "--game",
                                           game.Path(), "create", name});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    std::filesystem::path DataFolder() const { return dataHome.Path() / "quillory"; }
    std::filesystem::path Here() const { return cwd.Path() / "here"; }

    TempGameFolder game;
    ScratchFolder dataHome;
    ScratchFolder cwd;
};

TEST_F(GantryDataFolderTest, TheDataFolderServesWhenTheCurrentDirectoryHasNoDatabase) {
    std::filesystem::create_directory(DataFolder());
    CreateIn(DataFolder(), "FromDataFolder");
    const ProgramResult r = GantryIn(Here(), {"packages"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("FromDataFolder"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(Here() / "quillory.dat"));
}

TEST_F(GantryDataFolderTest, ADatabaseInTheCurrentDirectoryWins) {
    std::filesystem::create_directory(DataFolder());
    CreateIn(DataFolder(), "FromDataFolder");
    CreateIn(Here(), "FromHere");
    const ProgramResult r = GantryIn(Here(), {"packages"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("FromHere"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("FromDataFolder"), std::string::npos) << r.out;
}

TEST_F(GantryDataFolderTest, WithoutEitherTheCurrentDirectoryIsUsedAndNothingIsCreatedElsewhere) {
    const ProgramResult r = GantryIn(Here(), {"scan"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(Here() / "quillory.dat"));
    EXPECT_FALSE(std::filesystem::exists(DataFolder()));
}
