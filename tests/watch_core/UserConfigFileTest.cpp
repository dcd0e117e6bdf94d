// "quillory.json": round trips, files written by hand, damaged files moved aside, the refresh
// clamp, keys of others kept, and a file that may not be overwritten.
#include "watch/core/UserConfigFile.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

using namespace quillory;
using quillory::test::ReadFileBytes;
using quillory::test::ScratchFolder;
using quillory::test::WriteFileBytes;

namespace {

constexpr int64_t NOW = 1'765'440'000;

CUserConfigFile FileAtNow() {
    return CUserConfigFile([] { return NOW; });
}

UserConfigLoad LoadText(const ScratchFolder& folder, const std::string& text) {
    EXPECT_TRUE(WriteFileBytes(folder / USER_CONFIG_FILE, text));
    return FileAtNow().Load(folder.Path().string());
}

} // namespace

TEST(UserConfigFileTest, NoFileGivesTheDefaultsSilently) {
    ScratchFolder folder;
    const UserConfigLoad load = FileAtNow().Load(folder.Path().string());
    EXPECT_TRUE(load.config.friends.empty());
    EXPECT_EQ(load.config.refreshSeconds, 20);
    EXPECT_TRUE(load.config.desktopNotifications);
    EXPECT_FALSE(load.config.closeToTray);
    EXPECT_EQ(load.history.ServerCount(), 0u);
    EXPECT_FALSE(load.movedAside);
    EXPECT_TRUE(load.notice.empty());
}

TEST(UserConfigFileTest, RoundTripsEverything) {
    ScratchFolder folder;
    UserConfig config;
    config.friends = {"Bob", "*sniper*", "Andr\xE9"}; // é in the system code page
    config.refreshSeconds = 45;
    config.desktopNotifications = false;
    config.closeToTray = true;
    config.browser.sortColumn = 3;
    config.browser.sortDescending = true;
    config.browser.notFull = true;
    config.browser.maxPingMs = 150;
    config.browser.search = "co-op";
    CPlayerHistory history;
    history.Add("127.0.0.1:2302", {NOW - 100, 4, 16, true});
    history.Add("127.0.0.1:2302", {NOW - 40, 5, 16, false});
    history.Add("127.0.0.2", {NOW - 10, 0, 8, false});
    CUserConfigFile file = FileAtNow();
    ASSERT_TRUE(file.Save(folder.Path().string(), config, history).ok);

    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(folder / USER_CONFIG_FILE, bytes));
    EXPECT_NE(bytes.find("\"Andr\xC3\xA9\""), std::string::npos); // UTF-8 in the file

    const UserConfigLoad load = FileAtNow().Load(folder.Path().string());
    EXPECT_TRUE(load.notice.empty());
    EXPECT_EQ(load.config.friends, config.friends);
    EXPECT_EQ(load.config.refreshSeconds, 45);
    EXPECT_FALSE(load.config.desktopNotifications);
    EXPECT_TRUE(load.config.closeToTray);
    EXPECT_EQ(load.config.browser.sortColumn, 3);
    EXPECT_TRUE(load.config.browser.sortDescending);
    EXPECT_TRUE(load.config.browser.notFull);
    EXPECT_FALSE(load.config.browser.notEmpty);
    EXPECT_EQ(load.config.browser.maxPingMs, 150);
    EXPECT_EQ(load.config.browser.search, "co-op");
    const auto samples = load.history.Samples("127.0.0.1:2302");
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].unixSeconds, NOW - 100);
    EXPECT_EQ(samples[0].players, 4);
    EXPECT_EQ(samples[0].maxPlayers, 16);
    EXPECT_TRUE(samples[0].roundChanged);
    EXPECT_FALSE(samples[1].roundChanged);
    EXPECT_EQ(load.history.Samples("127.0.0.2").size(), 1u);
}

// A file written by hand, as another program or an editor may leave it.
TEST(UserConfigFileTest, ReadsAFileWrittenByHand) {
    ScratchFolder folder;
    const UserConfigLoad load = LoadText(folder, R"({
        "friends": ["Alice", 7, "", "B\u00f6b"],
        "refreshSeconds": 30,
        "closeToTray": true,
        "history": {"127.0.0.1:2302": [[1765439000, 3, 12, 1], [1765439100, "x", 12, 0],
                                        [1765439200, 6, 12, false]]}
    })");
    EXPECT_TRUE(load.notice.empty());
    EXPECT_EQ(load.config.friends, (std::vector<String>{"Alice", "B\xF6"
                                                                 "b"}));
    EXPECT_EQ(load.config.refreshSeconds, 30);
    EXPECT_TRUE(load.config.closeToTray);
    EXPECT_TRUE(load.config.desktopNotifications); // missing: the default
    const auto samples = load.history.Samples("127.0.0.1:2302");
    ASSERT_EQ(samples.size(), 2u); // the sample with a text count is skipped
    EXPECT_TRUE(samples[0].roundChanged);
    EXPECT_EQ(samples[1].players, 6);
}

// Samples count only as the top-level history's servers: a key given twice counts the last
// time, anything elsewhere or of another shape is left alone (and kept on saving), and a file
// damaged past its history gives none of it.
TEST(UserConfigFileTest, OnlyTheTopLevelHistoryIsRead) {
    struct Case {
        const char* text;
        std::map<String, std::vector<int>> players; // each server's counts, oldest first
        bool movedAside;
        const char* keptOnSave; // a text the saved file holds, or null
    };
    const Case cases[] = {
        {R"({"history": {"a": [[1765439000, 1, 8, 0]]},
             "history": {"b": [[1765439000, 2, 8, 0]]}})",
         {{"b", {2}}},
         false,
         nullptr},
        {R"({"history": {"a": [[1765439000, 1, 8, 0]], "b": [[1765439000, 3, 8, 0]],
             "a": [[1765439100, 2, 8, 0], [1765439200, 4, 8, 0]]}})",
         {{"a", {2, 4}}, {"b", {3}}},
         false,
         nullptr},
        {R"({"history": {"a": [[1765439000, 1, 8, 0]]},
             "history": [["a", [1765439000, 1, 8, 0]]]})",
         {},
         false,
         nullptr},
        {R"({"history": 7,
             "browser": {"a": [[1765439000, 1, 8, 0]], "history": {"a": [[1765439000, 1, 8, 0]]}},
             "other": [{"history": {"b": [[1765439000, 5, 8, 0]]}}]})",
         {},
         false,
         R"("other": [{"history":{"b":[[1765439000,5,8,0]]}}])"},
        {R"({"history": {"a": {"x": [[1765439000, 1, 8, 0]]}, "b": [[1765439000, 3, 8, 0]]}})",
         {{"b", {3}}},
         false,
         nullptr},
        {R"({"history": {"a": [[1765439000, 1, 8, 0]]}, "friends": [)", {}, true, nullptr},
        {R"([{"history": {"a": [[1765439000, 1, 8, 0]]}}])", {}, true, nullptr},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const UserConfigLoad load = LoadText(folder, c.text);
        EXPECT_EQ(load.movedAside, c.movedAside) << c.text;
        std::map<String, std::vector<int>> players;
        for (const String& address : load.history.Addresses())
            for (const HistorySample& sample : load.history.Samples(address))
                players[address].push_back(sample.players);
        EXPECT_EQ(players, c.players) << c.text;
        if (c.keptOnSave == nullptr)
            continue;
        CUserConfigFile file = FileAtNow();
        file.Load(folder.Path().string());
        ASSERT_TRUE(file.Save(folder.Path().string(), load.config, load.history).ok);
        std::string saved;
        ASSERT_TRUE(ReadFileBytes(folder / USER_CONFIG_FILE, saved));
        EXPECT_NE(saved.find(c.keptOnSave), std::string::npos) << saved;
    }
}

TEST(UserConfigFileTest, RefreshIsClamped) {
    struct Case {
        const char* value;
        int expected;
    };
    const Case cases[] = {{"1", 5},
                          {"5", 5},
                          {"0", 5},
                          {"-30", 5},
                          {"6", 6},
                          {"3600", 3600},
                          {"99999999", 3600},
                          {"1e3", 20},
                          {"\"10\"", 20},
                          {"null", 20},
                          {"18446744073709551615", 3600}};
    for (const Case& c : cases) {
        ScratchFolder folder;
        const UserConfigLoad load =
            LoadText(folder, std::string("{\"refreshSeconds\": ") + c.value + "}");
        EXPECT_EQ(load.config.refreshSeconds, c.expected) << c.value;
        EXPECT_TRUE(load.notice.empty()) << c.value;
    }
    ScratchFolder folder;
    UserConfig config;
    config.refreshSeconds = 2;
    ASSERT_TRUE(FileAtNow().Save(folder.Path().string(), config, CPlayerHistory()).ok);
    EXPECT_EQ(FileAtNow().Load(folder.Path().string()).config.refreshSeconds, 5);
}

TEST(UserConfigFileTest, ADamagedFileIsMovedAsideAndTheDefaultsUsed) {
    const char* damaged[] = {
        "{\"friends\": [\"Bob\"",           "", "[1, 2]", "\"text\"", "\x01\x02\xFF",
        "{\"friends\": [\"Bob\"]} trailing"};
    for (const char* text : damaged) {
        ScratchFolder folder;
        const UserConfigLoad load = LoadText(folder, text);
        EXPECT_TRUE(load.movedAside) << text;
        EXPECT_NE(load.notice.find(USER_CONFIG_BAD_FILE), std::string::npos) << load.notice;
        EXPECT_TRUE(load.config.friends.empty());
        EXPECT_EQ(load.config.refreshSeconds, 20);
        EXPECT_FALSE(std::filesystem::exists(folder / USER_CONFIG_FILE));
        std::string kept;
        ASSERT_TRUE(ReadFileBytes(folder / USER_CONFIG_BAD_FILE, kept));
        EXPECT_EQ(kept, text); // the player's data is still there, byte for byte
    }
}

TEST(UserConfigFileTest, TheNoticeIsGivenOnceAndSavingAfterwardsWorks) {
    ScratchFolder folder;
    CUserConfigFile file = FileAtNow();
    ASSERT_TRUE(WriteFileBytes(folder / USER_CONFIG_FILE, "{broken"));
    EXPECT_FALSE(file.Load(folder.Path().string()).notice.empty());
    UserConfig config;
    config.friends = {"Carol"};
    ASSERT_TRUE(file.Save(folder.Path().string(), config, CPlayerHistory()).ok);
    const UserConfigLoad again = file.Load(folder.Path().string());
    EXPECT_TRUE(again.notice.empty());
    EXPECT_FALSE(again.movedAside);
    EXPECT_EQ(again.config.friends, (std::vector<String>{"Carol"}));
}

TEST(UserConfigFileTest, AFileTooLargeIsTakenAsDamaged) {
    ScratchFolder folder;
    std::string big =
        "{\"friends\": [\"" + std::string(CUserConfigFile::MAX_FILE_BYTES, 'a') + "\"]}";
    const UserConfigLoad load = LoadText(folder, big);
    EXPECT_TRUE(load.movedAside);
    EXPECT_TRUE(load.config.friends.empty());
}

TEST(UserConfigFileTest, KeysOfOthersAreKeptOnSave) {
    ScratchFolder folder;
    CUserConfigFile file = FileAtNow();
    ASSERT_TRUE(WriteFileBytes(folder / USER_CONFIG_FILE,
                               R"({"newerChoice": {"a": [1, 2]}, "friends": ["Old"],
                                   "browser": {"columnWidths": [80, 40], "notEmpty": true}})"));
    UserConfigLoad load = file.Load(folder.Path().string());
    EXPECT_TRUE(load.config.browser.notEmpty);
    load.config.friends = {"New"};
    load.config.browser.notEmpty = false;
    ASSERT_TRUE(file.Save(folder.Path().string(), load.config, load.history).ok);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(folder / USER_CONFIG_FILE, bytes));
    EXPECT_NE(bytes.find("\"newerChoice\": {\"a\":[1,2]}"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\"columnWidths\":[80,40]"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.find("Old"), std::string::npos) << bytes;
    const UserConfigLoad again = FileAtNow().Load(folder.Path().string());
    EXPECT_EQ(again.config.friends, (std::vector<String>{"New"}));
    EXPECT_FALSE(again.config.browser.notEmpty);
}

TEST(UserConfigFileTest, HistoryOlderThanADayIsDroppedOnLoad) {
    ScratchFolder folder;
    CPlayerHistory history;
    history.Add("127.0.0.1", {NOW - 2 * 24 * 3600, 1, 8, false});
    history.Add("127.0.0.2", {NOW - 2 * 24 * 3600, 1, 8, false});
    history.Add("127.0.0.2", {NOW - 3600, 2, 8, false});
    ASSERT_TRUE(FileAtNow().Save(folder.Path().string(), UserConfig(), history).ok);
    const UserConfigLoad load = FileAtNow().Load(folder.Path().string());
    EXPECT_EQ(load.history.Addresses(), (std::vector<String>{"127.0.0.2"}));
    EXPECT_EQ(load.history.Samples("127.0.0.2").size(), 1u);
}

TEST(UserConfigFileTest, AFileThatCannotBeReadIsNotOverwritten) {
    ScratchFolder folder;
    // A folder where the file should be: it can be neither read nor replaced by a rename.
    std::filesystem::create_directories(folder / USER_CONFIG_FILE);
    CUserConfigFile file = FileAtNow();
    const UserConfigLoad load = file.Load(folder.Path().string());
    EXPECT_FALSE(load.notice.empty());
    EXPECT_FALSE(load.movedAside);
    const platform::SaveResult saved =
        file.Save(folder.Path().string(), UserConfig(), CPlayerHistory());
    EXPECT_FALSE(saved.ok);
    EXPECT_FALSE(saved.what.empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder / USER_CONFIG_FILE));
}

TEST(UserConfigFileTest, ASaveIntoAMissingFolderFailsWithItsReason) {
    ScratchFolder folder;
    const platform::SaveResult saved =
        FileAtNow().Save((folder / "missing").c_str(), UserConfig(), CPlayerHistory());
    EXPECT_FALSE(saved.ok);
    EXPECT_FALSE(saved.what.empty());
}
