#include "platform/Walk.h"

#include "common/FileTime.h"
#include "tests/support/ScopedUnprivileged.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::platform;
using quillory::test::TempGameFolder;

namespace {

std::map<std::string, WalkEntry> ListAll(const std::string& folder,
                                         std::string_view pattern = "*") {
    std::map<std::string, WalkEntry> entries;
    EXPECT_EQ(Walk(folder, pattern,
                   [&](const WalkEntry& e) {
                       entries[e.name] = e;
                       return true;
                   }),
              WalkResult::Finished);
    return entries;
}

} // namespace

TEST(Walk, ReportsAttributesSizeAndTime) {
    TempGameFolder game;
    game.Write("AddOns/x.pbo", "12345");
    game.Write(".profile", "p");
    game.MakeFolder("Campaigns");
    game.MakeFolder(".git/objects");
    // 2020-01-02 03:04:05 UTC and 123456789 ns; FILETIME keeps 100-ns units.
    game.SetTime("AddOns/x.pbo", 1577934245, 123456789);
    ASSERT_EQ(::mkfifo((game / "pipe").c_str(), 0600), 0);

    auto top = ListAll(game.Path());
    EXPECT_EQ(top.count(".git"), 0u) << "folders beginning with a dot are not listed";
    ASSERT_EQ(top.count(".profile"), 1u);
    EXPECT_TRUE(top[".profile"].hidden);
    EXPECT_FALSE(top[".profile"].system);
    EXPECT_TRUE(top["Campaigns"].directory);
    EXPECT_EQ(top["Campaigns"].size, 0u);
    EXPECT_TRUE(top["pipe"].system);
    EXPECT_FALSE(top["AddOns"].hidden);

    auto addons = ListAll(game / "AddOns/");
    ASSERT_EQ(addons.size(), 1u);
    const WalkEntry& file = addons["x.pbo"];
    EXPECT_FALSE(file.directory);
    EXPECT_FALSE(file.system);
    EXPECT_EQ(file.size, 5u);
    EXPECT_EQ(file.modified, FileTimeFromCivil(2020, 1, 2, 3, 4, 5) + 1234567u);
}

TEST(Walk, SizeIsTheLow32BitsAndTimesRepeat) {
    TempGameFolder game;
    game.Write("big.pbo", "");
    // A sparse file of 4 GiB + 7 bytes takes no room but reports its size.
    ASSERT_EQ(::truncate((game / "big.pbo").c_str(), (int64_t(1) << 32) + 7), 0);
    auto first = ListAll(game.Path());
    EXPECT_EQ(first["big.pbo"].size, 7u);
    auto second = ListAll(game.Path());
    EXPECT_EQ(first["big.pbo"].modified, second["big.pbo"].modified);
}

TEST(Walk, KeepsTheListingOrderOfTheFileSystem) {
    TempGameFolder game;
    for (const char* name : {"m", "b", "z", "a", "q", "c"})
        game.Write(name, name);
    std::vector<std::string> walked;
    Walk(game.Path(), "*", [&](const WalkEntry& e) {
        walked.push_back(e.name);
        return true;
    });
    std::vector<std::string> listed;
    for (const auto& e : std::filesystem::directory_iterator(game.Path()))
        listed.push_back(e.path().filename().string());
    EXPECT_EQ(walked, listed);
}

TEST(Walk, LinksToFoldersAreMarkedSoNobodyDescends) {
    TempGameFolder game;
    game.Write("real/inner.pbo", "abc");
    game.Write("target.pbo", "0123456789");
    ASSERT_EQ(::symlink((game / "real").c_str(), (game / "looped").c_str()), 0);
    ASSERT_EQ(::symlink((game / "target.pbo").c_str(), (game / "linked.pbo").c_str()), 0);
    ASSERT_EQ(::symlink((game / "nowhere").c_str(), (game / "dangling").c_str()), 0);

    auto top = ListAll(game.Path());
    EXPECT_TRUE(top["looped"].directory);
    EXPECT_TRUE(top["looped"].system);
    EXPECT_FALSE(top["real"].system);
    EXPECT_FALSE(top["linked.pbo"].system);
    EXPECT_EQ(top["linked.pbo"].size, 10u);
    EXPECT_TRUE(top["dangling"].system);
    EXPECT_FALSE(top["dangling"].directory);
}

TEST(Walk, FailsOnAnUnreadableOrMissingFolder) {
    TempGameFolder game;
    game.Write("Locked/a.pbo", "a");
    game.Lock("Locked");
    test::ScopedUnprivileged unprivileged;
    if (!unprivileged.Active())
        GTEST_SKIP() << "cannot give up the permission bypass";
    int calls = 0;
    auto count = [&](const WalkEntry&) {
        ++calls;
        return true;
    };
    EXPECT_EQ(Walk(game / "Locked/", "*", count), WalkResult::Failed);
    EXPECT_EQ(Walk(game / "Absent/", "*", count), WalkResult::Failed);
    EXPECT_EQ(calls, 0);
}

TEST(Walk, StopsWhenTheVisitorSaysSo) {
    TempGameFolder game;
    for (const char* name : {"a", "b", "c"})
        game.Write(name, name);
    int calls = 0;
    EXPECT_EQ(Walk(game.Path(), "*",
                   [&](const WalkEntry&) {
                       ++calls;
                       return false;
                   }),
              WalkResult::Stopped);
    EXPECT_EQ(calls, 1);
}

TEST(Walk, FindsAFolderWrittenInAnotherCaseAndWithBackslashes) {
    TempGameFolder game;
    game.Write("Res/AddOns/plants.pbo", "p");
    auto entries = ListAll(game.Path() + "RES\\addons\\");
    EXPECT_EQ(entries.count("plants.pbo"), 1u);
}

TEST(Walk, PatternsIgnoreCase) {
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"x.pbo", "*", true},
        {"x.pbo", "*.*", true},
        {"X.PBO", "*.pbo", true},
        {"x.pbo", "*.pbx", false},
        {"x.pbo", "?.pbo", true},
        {"xy.pbo", "?.pbo", false},
        {"abc", "a*c", true},
        {"abcbc", "a*bc", true},
        {"ab", "a*c", false},
        {"readme", "README", true},
        {"", "*", true},
        {"a", "", true},
        {"x.pbo.00c0ffee.aab", "*.aab", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;

    TempGameFolder game;
    for (const char* name : {"a.pbo", "B.PBO", "c.txt"})
        game.Write(name, name);
    auto pbos = ListAll(game.Path(), "*.pbo");
    EXPECT_EQ(pbos.size(), 2u);
    EXPECT_EQ(pbos.count("c.txt"), 0u);
}

// A deferred listing takes kinds from the listing where it can and looks files up only on
// request; whether or not the file system gives kinds, it must tell the same as a full listing.
TEST(Walk, ADeferredListingTellsWhatAFullOneTells) {
    TempGameFolder game;
    game.Write("AddOns/x.pbo", "12345");
    game.SetTime("AddOns/x.pbo", 1577934245, 123456789);
    game.Write(".profile", "p");
    game.MakeFolder("Campaigns");
    game.MakeFolder(".git/objects");
    game.Write("target.pbo", "0123456789");
    ASSERT_EQ(::mkfifo((game / "pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((game / "Campaigns").c_str(), (game / "looped").c_str()), 0);
    ASSERT_EQ(::symlink((game / "target.pbo").c_str(), (game / "linked.pbo").c_str()), 0);
    ASSERT_EQ(::symlink((game / "nowhere").c_str(), (game / "dangling").c_str()), 0);

    for (const std::string& folder : {game.Path(), game / "AddOns/"}) {
        const auto full = ListAll(folder);
        for (WalkDetail detail : {WalkDetail::Deferred, WalkDetail::DeferredUntyped}) {
            std::map<std::string, WalkEntry> deferred;
            std::map<std::string, FileFacts> facts;
            Walk(
                folder, "*",
                [&](const WalkEntry& e) {
                    deferred[e.name] = e;
                    FileFacts looked;
                    if (!e.directory && !e.system && DescribeFile(e, looked))
                        facts[e.name] = looked;
                    return true;
                },
                detail);
            ASSERT_EQ(deferred.size(), full.size());
            for (const auto& [name, want] : full) {
                SCOPED_TRACE(name + " " + std::to_string(static_cast<int>(detail)));
                const WalkEntry& got = deferred[name];
                EXPECT_EQ(got.directory, want.directory);
                EXPECT_EQ(got.hidden, want.hidden);
                EXPECT_EQ(got.system, want.system);
                if (got.detailed) {
                    EXPECT_EQ(got.size, want.size);
                    EXPECT_EQ(got.modified, want.modified);
                }
                if (want.directory || want.system)
                    continue;
                ASSERT_EQ(facts.count(name), 1u);
                EXPECT_EQ(static_cast<uint32_t>(facts[name].size), want.size);
                EXPECT_EQ(facts[name].modified, want.modified);
            }
        }
    }
    // Only the listing's kinds spare the lookup; a link is always looked up.
    std::map<std::string, WalkEntry> deferred;
    Walk(
        game.Path(), "*",
        [&](const WalkEntry& e) {
            deferred[e.name] = e;
            return true;
        },
        WalkDetail::Deferred);
    EXPECT_TRUE(deferred["linked.pbo"].detailed);
    EXPECT_EQ(deferred["linked.pbo"].size, 10u);
}
