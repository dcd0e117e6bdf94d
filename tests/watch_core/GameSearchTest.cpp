#include "TempGameFolder.h"

#include "watch/core/GameSearch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace quillory {
namespace {

// Waits for the search thread as the dialog's timer does, without a time limit of its own.
void WaitUntilFinished(CGameSearch& search) {
    while (!search.Finish())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

class GameSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        search.entryHook = [this](const String& path) {
            std::lock_guard guard(visitedLock);
            visited.push_back(path);
        };
    }

    std::vector<String> Visited() {
        std::lock_guard guard(visitedLock);
        return visited;
    }

    test::TempGameFolder first, second;
    CGameSearch search;
    std::mutex visitedLock;
    std::vector<String> visited;
};

TEST_F(GameSearchTest, WalksTheFirstDiskWholeAndListsEveryGameFolderInOrder) {
    first.Write("Program Files/Tools/readme.txt", "x");
    first.Write("Data/deep/deeper/file.bin", "x");
    // A folder named like the executable is descended into, never taken for it.
    first.Write("IRONVALE.EXE/inside.txt", "x");
    second.Write("Games/Ironvale/ironvaleuprising.exe", "exe");
    second.Write("Games/Ironvale/IRONVALE.EXE", "exe");
    second.Write("Games/Ironvale/Other/IRONVALE.EXE", "exe");

    ASSERT_TRUE(search.Start({{}, {first.Path(), second.Path()}, {}}));
    WaitUntilFinished(search);

    std::vector<String> found = search.FoundFolders();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<String>{second / "Games/Ironvale/", second / "Games/Ironvale/Other/"}));
    const auto paths = Visited();
    size_t lastOfFirst = 0, firstOfSecond = paths.size();
    for (size_t i = 0; i < paths.size(); ++i) {
        if (paths[i].starts_with(first.Path()))
            lastOfFirst = i;
        else if (firstOfSecond == paths.size())
            firstOfSecond = i;
    }
    EXPECT_LT(lastOfFirst, firstOfSecond);
    EXPECT_NE(std::find(paths.begin(), paths.end(), first / "IRONVALE.EXE/inside.txt"),
              paths.end());
    EXPECT_NE(std::find(paths.begin(), paths.end(), first / "Data/deep/deeper/file.bin"),
              paths.end());
    EXPECT_FALSE(search.Searching());
    EXPECT_FALSE(search.Finish()) << "a search is finished once";
}

TEST_F(GameSearchTest, AnotherMountBelowARootIsNotEntered) {
    first.Write("mnt/usb/IRONVALE.EXE", "exe");
    second.Write("ivl/IRONVALE.EXE", "exe");
    ASSERT_TRUE(search.Start({{}, {first.Path()}, {first / "mnt/usb"}}));
    WaitUntilFinished(search);
    EXPECT_TRUE(search.FoundFolders().empty());

    ASSERT_TRUE(search.Start({{}, {first.Path(), second.Path()}, {first / "mnt/usb/"}}));
    WaitUntilFinished(search);
    EXPECT_EQ(search.FoundFolders(), std::vector<String>{second / "ivl/"});
}

TEST_F(GameSearchTest, StopEndsTheSearchWithinOneEntry) {
    for (int i = 0; i < 30; ++i)
        first.Write("f" + std::to_string(i) + "/g/file.txt", "x");
    second.Write("IRONVALE.EXE", "exe");
    search.entryHook = [this](const String& path) {
        {
            std::lock_guard guard(visitedLock);
            visited.push_back(path);
        }
        search.Stop(); // "Stop" pressed while the first entry is being looked at
    };
    ASSERT_TRUE(search.Start({{}, {first.Path(), second.Path()}, {}}));
    WaitUntilFinished(search);
    EXPECT_EQ(Visited().size(), 1u);
    EXPECT_TRUE(search.FoundFolders().empty());
}

TEST_F(GameSearchTest, NothingFoundLeavesTheFolderEmptyAndAllowsANewSearch) {
    first.Write("a/b.txt", "x");
    ASSERT_TRUE(search.Start({{}, {first.Path(), first / "not-there/"}, {}}));
    EXPECT_FALSE(search.Start({{}, {first.Path()}, {}})) << "one search at a time";
    WaitUntilFinished(search);
    EXPECT_TRUE(search.FoundFolders().empty());
    EXPECT_EQ(search.CurrentFolder(), first / "a");

    second.Write("IRONVALE.EXE", "exe");
    ASSERT_TRUE(search.Start({{}, {second.Path()}, {}}));
    WaitUntilFinished(search);
    EXPECT_EQ(search.FoundFolders(), std::vector<String>{second.Path()});
}

TEST_F(GameSearchTest, DestroyingARunningSearchStopsIt) {
    for (int i = 0; i < 200; ++i)
        first.Write("f" + std::to_string(i) + "/file.txt", "x");
    auto running = std::make_unique<CGameSearch>();
    ASSERT_TRUE(running->Start({{}, {first.Path()}, {}}));
    running.reset(); // must not hang nor leave the thread behind
    SUCCEED();
}

} // namespace
} // namespace quillory
