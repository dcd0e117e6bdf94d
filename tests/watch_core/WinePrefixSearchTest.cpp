// The game inside Wine prefixes: the prefixes of a home folder, and the search through them.
#include "TempGameFolder.h"

#include "watch/core/GameSearch.h"
#include "watch/core/WinePrefixes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace quillory {
namespace {

void WaitUntilFinished(CGameSearch& search) {
    while (!search.Finish())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void Link(const std::string& target, const std::string& link) {
    std::filesystem::create_directories(std::filesystem::path(link).parent_path());
    std::filesystem::create_directory_symlink(target, link);
}

// A home folder with a prefix of every kind, each holding a game in a folder of its own.
class FakeHome : public ::testing::Test {
protected:
    void SetUp() override {
        home.Write(".wine/drive_c/Program Files/Marrowby/Ironvale/IRONVALE.EXE", "MZ");
        home.Write("Games/ironvale-uprising/drive_c/GOG Games/IVU/IronvaleUprising.exe", "MZ");
        home.Write(".local/share/bottles/bottles/Ironvale/drive_c/IVL/ironvale.exe", "MZ");
        home.Write(".local/share/Steam/steamapps/compatdata/4242/pfx/drive_c/Steam IVL/"
                   "IRONVALE.EXE",
                   "MZ");
        // Steam's other usual place is a link to the same folder.
        Link(home / ".local/share/Steam", home / ".steam/steam");
        home.Write(".PlayOnLinux/wineprefix/Ironvale/drive_c/Games/IVL/IRONVALE.EXE", "MZ");
        // Not prefixes: no "drive_c" inside.
        home.Write("Games/notes/readme.txt", "x");
        home.Write(".local/share/Steam/steamapps/compatdata/7/readme.txt", "x");
        other.Write("drive_c/IVU/IRONVALEUPRISING.EXE", "MZ");
    }

    test::TempGameFolder home, other;
};

TEST_F(FakeHome, ListsEachPrefixOnceInItsOrder) {
    const String variable = other.Path().substr(0, other.Path().size() - 1);
    EXPECT_EQ(WinePrefixDrives(home.Path(), variable),
              (std::vector<String>{
                  other / "drive_c/",
                  home / ".wine/drive_c/",
                  home / "Games/ironvale-uprising/drive_c/",
                  home / ".local/share/bottles/bottles/Ironvale/drive_c/",
                  home / ".steam/steam/steamapps/compatdata/4242/pfx/drive_c/",
                  home / ".PlayOnLinux/wineprefix/Ironvale/drive_c/",
              }));
}

TEST_F(FakeHome, NoHomeAndNoVariableGiveNothing) {
    EXPECT_TRUE(WinePrefixDrives("", "").empty());
    // $WINEPREFIX naming "~/.wine" lists it once.
    EXPECT_EQ(WinePrefixDrives(home.Path(), home / ".wine").front(), home / ".wine/drive_c/");
    EXPECT_EQ(WinePrefixDrives(home.Path(), home / ".wine").size(), 5u);
}

TEST_F(FakeHome, FindsEveryGameInThePrefixesFirstThenOnTheDisksWithoutDoubles) {
    CGameSearch search;
    // The home folder stands for a disk too: its hidden prefixes are not entered there, and
    // the Lutris prefix it passes again is not listed twice.
    ASSERT_TRUE(search.Start({WinePrefixDrives(home.Path(), ""), {home.Path()}, {}}));
    WaitUntilFinished(search);
    EXPECT_EQ(search.FoundFolders(),
              (std::vector<String>{
                  home / ".wine/drive_c/Program Files/Marrowby/Ironvale/",
                  home / "Games/ironvale-uprising/drive_c/GOG Games/IVU/",
                  home / ".local/share/bottles/bottles/Ironvale/drive_c/IVL/",
                  home / ".steam/steam/steamapps/compatdata/4242/pfx/drive_c/Steam IVL/",
                  home / ".PlayOnLinux/wineprefix/Ironvale/drive_c/Games/IVL/",
              }));
}

TEST_F(FakeHome, LinksAreNotFollowedAndDepthIsBounded) {
    // Wine links the prefix's user folders to the home folder: a loop, were it followed.
    Link(home.Path(), home / ".wine/drive_c/users/player/Desktop");
    Link(home / ".wine/drive_c", home / ".wine/drive_c/loop");
    std::string deep = "deep";
    for (int level = 1; level < CGameSearch::MAX_DEPTH + 2; ++level) {
        if (level == 4)
            home.Write(".wine/drive_c/" + deep + "/IRONVALE.EXE", "MZ");
        deep += "/d";
    }
    home.Write(".wine/drive_c/" + deep + "/IRONVALEUPRISING.EXE", "MZ");

    CGameSearch search;
    std::vector<String> entered;
    search.entryHook = [&](const String& path) { entered.push_back(path); };
    ASSERT_TRUE(search.Start({{home / ".wine/drive_c/"}, {}, {}}));
    WaitUntilFinished(search);
    std::vector<String> found = search.FoundFolders();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<String>{home / ".wine/drive_c/Program Files/Marrowby/Ironvale/",
                                          home / ".wine/drive_c/deep/d/d/d/"}));
    for (const String& path : entered)
        EXPECT_EQ(path.find("/loop/"), String::npos) << path;
    for (const String& path : entered)
        EXPECT_EQ(path.find("/Desktop/"), String::npos) << path;
}

} // namespace
} // namespace quillory
