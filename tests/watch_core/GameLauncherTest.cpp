#include "TempGameFolder.h"

#include "watch/core/GameLauncher.h"

#include <gtest/gtest.h>

#include <map>

namespace quillory {
namespace {

// Resolves only the names a test gives it, so no test depends on the machine's resolver.
struct FakeResolver {
    std::map<String, String> known;
    std::vector<String> asked;
    std::optional<String> operator()(const String& host) {
        asked.push_back(host);
        auto it = known.find(host);
        if (it == known.end())
            return std::nullopt;
        return it->second;
    }
};

struct RecordingStarter {
    bool succeed = true;
    int calls = 0;
    String commandLine, folder;
    platform::ProcessStartResult operator()(const String& line, const String& where) {
        ++calls;
        commandLine = line;
        folder = where;
        if (succeed)
            return {true, String()};
        return {false, "refused"};
    }
};

// The table of launches: each row is an entry, a server reply and a game folder; the command
// line is written with "<F>" for the game folder as stored with its separator.
TEST(GameLauncherTest, CommandLineTable) {
    struct Case {
        const char* what;
        const char* address;
        int32_t reportedPort;
        int32_t version;
        bool locked;
        const char* password;
        const char* parameters;
        bool automaticMods;
        const char* suggestion;
        const char* betaFileOnDisk; // in the game folder, or null
        bool folderWithoutSeparator;
        const char* expected;
    } cases[] = {
        {"the port after the colon wins", "server.test:2400", 2302, 196, false, "", "", true, "",
         nullptr, false, "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2400"},
        {"without a colon the reported port", "server.test", 2302, 196, false, "", "", true, "",
         nullptr, false, "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"blanks around host and port", "  server.test \t: 2400  ", 2302, 196, false, "", "", true,
         "", nullptr, false,
         "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2400"},
        {"mod words dropped in any case, suggestion last", "server.test", 2302, 196, true, "pw",
         "-mod=@old -world=empty -MOD=@other", true, "@a;@b", nullptr, false,
         "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302 -password=pw "
         "-world=empty -mod=@a;@b"},
        {"no suggestion: mod words still dropped", "server.test", 2302, 196, false, "",
         "-mod=@old -world=empty -nomap", true, "", nullptr, false,
         "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302 -world=empty "
         "-nomap"},
        {"only a suggestion", "server.test", 2302, 196, false, "", "-Mod=@x", true, "@a", nullptr,
         false, "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302 -mod=@a"},
        {"quoted words are kept whole, without their quotes", "server.test", 2302, 196, false, "",
         "-name=\"Big Bill\"  -x", true, "", nullptr, false,
         "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302 -name= Big Bill "
         "-x"},
        {"automatic off keeps the parameters as stored", "server.test", 2302, 196, false, "",
         "-mod=\"@my mod\"  -nomap", false, "@a", nullptr, false,
         "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302 -mod=\"@my mod\"  "
         "-nomap"},
        {"version 150 runs the original game", "server.test", 2302, 150, false, "", "", true, "",
         nullptr, false, "\"<F>IRONVALE.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"version 174 runs the original game", "server.test", 2302, 174, false, "", "", true, "",
         nullptr, false, "\"<F>IRONVALE.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"version 175 runs the expansion", "server.test", 2302, 175, false, "", "", true, "",
         nullptr, false, "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"version 192 with the beta file in another case", "server.test", 2302, 192, false, "", "",
         true, "", "Ironvale192Beta.exe", false,
         "\"<F>IRONVALE192BETA.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"version 192 without the beta file", "server.test", 2302, 192, false, "", "", true, "",
         nullptr, false, "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"version 196 ignores a beta file", "server.test", 2302, 196, false, "", "", true, "",
         "IRONVALE192BETA.EXE", false,
         "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"locked without a password", "server.test", 2302, 196, true, "", "", true, "", nullptr,
         false, "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"unlocked with a password", "server.test", 2302, 196, false, "secret", "", true, "",
         nullptr, false, "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"locked with a password", "server.test", 2302, 196, true, "secret", "", true, "", nullptr,
         false,
         "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302 -password=secret"},
        {"a folder without its separator", "server.test", 2302, 196, false, "", "", true, "",
         nullptr, true, "\"<F>IRONVALEUPRISING.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
        {"a folder without its separator still finds the beta file", "server.test", 2302, 192,
         false, "", "", true, "", "IRONVALE192BETA.EXE", true,
         "\"<F>IRONVALE192BETA.EXE\" -nosplash -connect=127.10.0.7 -port=2302"},
    };
    for (const Case& c : cases) {
        test::TempGameFolder game;
        if (c.betaFileOnDisk)
            game.Write(c.betaFileOnDisk, "beta");
        String folder = game.Path();
        if (c.folderWithoutSeparator)
            folder.pop_back();

        PlayNowRequest request;
        request.serverSelected = true;
        request.implementation = 1;
        request.address = c.address;
        request.reportedPort = c.reportedPort;
        request.settings.gameFolder = folder;
        request.settings.version = c.version;
        request.settings.locked = c.locked;
        request.settings.password = c.password;
        request.settings.startupParameters = c.parameters;
        request.settings.automaticMods = c.automaticMods;
        request.settings.modSuggestion = c.suggestion;
        FakeResolver resolver{{{"server.test", "127.10.0.7"}}, {}};
        RecordingStarter starter;
        PlayNowOutcome outcome = PlayNowLaunch(request, std::ref(resolver), std::ref(starter));

        String expected = c.expected;
        expected.replace(expected.find("<F>"), 3, game.Path());
        EXPECT_EQ(outcome.result, PlayNowResult::STARTED) << c.what;
        EXPECT_EQ(outcome.commandLine, expected) << c.what;
        EXPECT_EQ(starter.commandLine, expected) << c.what;
        EXPECT_EQ(starter.folder, folder) << c.what;
        EXPECT_EQ(resolver.asked, std::vector<String>{"server.test"}) << c.what;
    }
}

TEST(GameLauncherTest, NothingHappensWithoutSelectionReplyOrAddress) {
    struct Case {
        const char* what;
        bool selected;
        int32_t implementation;
        const char* address;
    } cases[] = {
        {"no selection", false, 1, "server.test"},
        {"no reply yet", true, 0, "server.test"},
        {"empty address", true, 1, ""},
    };
    for (const Case& c : cases) {
        PlayNowRequest request;
        request.serverSelected = c.selected;
        request.implementation = c.implementation;
        request.address = c.address;
        request.settings.gameFolder = "/games/ivl/";
        FakeResolver resolver{{{"server.test", "127.10.0.7"}}, {}};
        RecordingStarter starter;
        auto outcome = PlayNowLaunch(request, std::ref(resolver), std::ref(starter));
        EXPECT_EQ(outcome.result, PlayNowResult::NOTHING) << c.what;
        EXPECT_TRUE(resolver.asked.empty()) << c.what;
        EXPECT_EQ(starter.calls, 0) << c.what;
    }
}

TEST(GameLauncherTest, BadAddressNoFolderAndRefusedStart) {
    PlayNowRequest request;
    request.serverSelected = true;
    request.implementation = 2;
    request.address = "nowhere.test:2302";
    request.settings.gameFolder = "/games/ivl/";
    FakeResolver resolver{{{"server.test", "127.10.0.7"}}, {}};
    RecordingStarter starter;
    EXPECT_EQ(PlayNowLaunch(request, std::ref(resolver), std::ref(starter)).result,
              PlayNowResult::BAD_ADDRESS);
    EXPECT_EQ(starter.calls, 0);

    request.address = "server.test";
    request.settings.gameFolder.clear();
    auto outcome = PlayNowLaunch(request, std::ref(resolver), std::ref(starter));
    EXPECT_EQ(outcome.result, PlayNowResult::FAILED);
    EXPECT_EQ(starter.calls, 0);

    request.settings.gameFolder = "/games/ivl/";
    starter.succeed = false;
    outcome = PlayNowLaunch(request, std::ref(resolver), std::ref(starter));
    EXPECT_EQ(outcome.result, PlayNowResult::FAILED);
    EXPECT_EQ(outcome.reason, "refused");
    EXPECT_EQ(starter.calls, 1);
}

TEST(GameLauncherTest, FailureTextFollowsTheVersion) {
    EXPECT_EQ(LaunchFailureText(175), "Could not start Ironvale Uprising");
    EXPECT_EQ(LaunchFailureText(196), "Could not start Ironvale Uprising");
    EXPECT_EQ(LaunchFailureText(174), "Could not start Ironvale");
    EXPECT_EQ(LaunchFailureText(0), "Could not start Ironvale");
}

TEST(GameLauncherTest, ConnectTargetUsesTheFirstColonAndNoZero) {
    auto target = ConnectTargetOf("host:2400:9", 2302);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, "host");
    EXPECT_EQ(target->port, "2400:9");
    // A colon with nothing after it leaves the port empty, not "0".
    target = ConnectTargetOf("host:", 2302);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->port, "");
    EXPECT_FALSE(ConnectTargetOf("", 2302));
}

TEST(GameLauncherTest, DottedFormOfAResolvedAddress) {
    EXPECT_EQ(ResolveHostDotted("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(ResolveHostDotted("127.168.10.200"), "127.168.10.200");
    EXPECT_FALSE(ResolveHostDotted(""));
}

} // namespace
} // namespace quillory
