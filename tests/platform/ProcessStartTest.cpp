#include "platform/ProcessStart.h"

#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace quillory;
using namespace quillory::platform;
using quillory::test::TempGameFolder;

namespace {

// A stand-in for wine that writes its working folder and arguments, one a line, and leaves.
void WriteRecordingWine(const std::string& path, const std::string& record) {
    std::ofstream script(path);
    script << "#!/bin/sh\n"
           << "{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '" << record
           << ".part'\nmv '" << record << ".part' '" << record << "'\n";
    script.close();
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// The lines of the record once the started program has written it; empty after 20 s.
std::vector<std::string> AwaitRecord(const std::string& path) {
    for (int i = 0; i < 2000 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Puts a folder in front of PATH for one test.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& value) {
        const char* old = std::getenv("PATH");
        had_ = old != nullptr;
        old_ = old ? old : "";
        ::setenv("PATH", value.c_str(), 1);
    }
    ~ScopedPath() {
        if (had_)
            ::setenv("PATH", old_.c_str(), 1);
        else
            ::unsetenv("PATH");
    }

private:
    bool had_;
    std::string old_;
};

} // namespace

TEST(ProcessStart, AWindowsProgramRunsThroughWineFoundIgnoringCase) {
    TempGameFolder bin, game;
    game.Write("IronvaleUprising.exe", "MZ");
    WriteRecordingWine(bin / "wine", "/dev/null");
    std::string reason;
    auto arguments = BuildProcessArguments(
        "\"" + game.Path() + "IRONVALEUPRISING.EXE\" -nosplash -connect=127.0.0.1 -port=2302",
        "/no/such/folder:" + bin.Path(), reason);
    ASSERT_TRUE(arguments) << reason;
    EXPECT_EQ(arguments->program, game / "IronvaleUprising.exe");
    EXPECT_EQ(arguments->argv,
              (std::vector<std::string>{bin / "wine", game / "IronvaleUprising.exe", "-nosplash",
                                        "-connect=127.0.0.1", "-port=2302"}));
}

TEST(ProcessStart, WithoutWineOnThePathAWindowsProgramDoesNotStart) {
    TempGameFolder bin, game;
    game.Write("IRONVALE.EXE", "MZ");
    bin.Write("wine", "not executable");
    std::string reason;
    EXPECT_FALSE(BuildProcessArguments("\"" + game.Path() + "IRONVALE.EXE\"", bin.Path(), reason));
    EXPECT_EQ(reason, "wine is not on the PATH");
    EXPECT_FALSE(BuildProcessArguments("  ", bin.Path(), reason));

    ScopedPath path(bin.Path());
    ProcessStartResult result = StartProcess("\"" + game.Path() + "IRONVALE.EXE\" -x", game.Path());
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.reason, "wine is not on the PATH");
}

TEST(ProcessStart, StartsInTheWorkingFolderWithoutWaiting) {
    TempGameFolder bin, game, records;
    game.Write("IRONVALEUPRISING.EXE", "MZ");
    const std::string record = records / "wine.txt";
    WriteRecordingWine(bin / "wine", record);
    ScopedPath path(bin.Path() + ":/usr/bin:/bin");

    ProcessStartResult result =
        StartProcess("\"" + game.Path() +
                         "ironvaleuprising.exe\" -nosplash -connect=127.11.2.3 -port=2400 "
                         "-password=pw -mod=@a;@b",
                     game.Path());
    ASSERT_TRUE(result.started) << result.reason;
    auto lines = AwaitRecord(record);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(std::filesystem::path(lines[0]), std::filesystem::canonical(game.Path()));
    EXPECT_EQ(lines[1], game / "IRONVALEUPRISING.EXE");
    EXPECT_EQ(lines[2], "-nosplash");
    EXPECT_EQ(lines[3], "-connect=127.11.2.3");
    EXPECT_EQ(lines[4], "-port=2400");
    EXPECT_EQ(lines[5], "-password=pw");
    EXPECT_EQ(lines[6], "-mod=@a;@b");
}

TEST(ProcessStart, ClearReasonsForAMissingProgramOrFolder) {
    TempGameFolder bin, game;
    WriteRecordingWine(bin / "wine", "/dev/null");
    ScopedPath path(bin.Path());
    ProcessStartResult result = StartProcess("\"" + game.Path() + "IRONVALE.EXE\"", game.Path());
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.reason.find("IRONVALE.EXE: no such file"), std::string::npos) << result.reason;

    game.Write("IRONVALE.EXE", "MZ");
    result = StartProcess("\"" + game.Path() + "IRONVALE.EXE\"", game / "gone/");
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.reason.find("no such folder"), std::string::npos) << result.reason;

    // A native program that cannot be executed reports why exec refused it.
    game.Write("tool", "not a program");
    std::filesystem::permissions(game / "tool", std::filesystem::perms::owner_read);
    result = StartProcess("\"" + game.Path() + "tool\"", game.Path());
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.reason.empty());
}

namespace {

TEST(ShellQuotedTest, PlainWordsStayBareOthersAreQuotedAsAShellReadsThem) {
    struct Case {
        std::vector<String> words;
        const char* line;
    } cases[] = {
        {{"/usr/bin/wine", "/g/IRONVALE.EXE", "-nosplash", "-connect=127.0.0.1", "-port=2302"},
         "/usr/bin/wine /g/IRONVALE.EXE -nosplash -connect=127.0.0.1 -port=2302"},
        {{"/home/p/Program Files/IRONVALE.EXE", "-mod=@a;@b"},
         "'/home/p/Program Files/IRONVALE.EXE' '-mod=@a;@b'"},
        {{"-name=O'Brien", ""}, "'-name=O'\\''Brien' ''"},
        {{"$HOME", "a*b", "`x`"}, "'$HOME' 'a*b' '`x`'"},
        {{}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShellQuoted(c.words), c.line);
}

TEST(PrepareProcessTest, SaysWhatAStartWouldMeetWithoutStartingAnything) {
    TempGameFolder bin, game, records;
    const std::string record = records / "wine.txt";
    WriteRecordingWine(bin / "wine", record);
    ScopedPath path(bin.Path());
    game.Write("Ironvale.exe", "MZ");
    String reason;

    auto prepared =
        PrepareProcess("\"" + game.Path() + "IRONVALE.EXE\" -nosplash", game.Path(), reason);
    ASSERT_TRUE(prepared) << reason;
    EXPECT_EQ(prepared->arguments.argv,
              (std::vector<String>{bin / "wine", game / "Ironvale.exe", "-nosplash"}));
    EXPECT_FALSE(std::filesystem::exists(record)) << "nothing was started";

    EXPECT_FALSE(
        PrepareProcess("\"" + game.Path() + "IRONVALEUPRISING.EXE\"", game.Path(), reason));
    EXPECT_EQ(reason, game.Path() + "IRONVALEUPRISING.EXE: no such file");
    EXPECT_FALSE(PrepareProcess("\"" + game.Path() + "IRONVALE.EXE\"", game / "gone", reason));
    EXPECT_EQ(reason, game / "gone" + ": no such folder");
    ScopedPath noWine(records.Path());
    EXPECT_FALSE(PrepareProcess("\"" + game.Path() + "IRONVALE.EXE\"", game.Path(), reason));
    EXPECT_EQ(reason, "wine is not on the PATH");
}

} // namespace
