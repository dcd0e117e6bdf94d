#include "platform/NameIndex.h"
#include "platform/FileSystem.h"

#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillory::platform;
using quillory::test::TempGameFolder;

// The operations made through one index see what earlier ones made and removed, without the
// folder being read again; the results are those the plain operations give.
TEST(NameIndex, OperationsThroughTheIndexKeepItTrue) {
    TempGameFolder game;
    game.Write("AddOns/Tank.pbo", "t");
    const std::string folder = game.Path() + "addons\\";
    CNameIndex index;

    EXPECT_EQ(ResolveCase(folder + "TANK.PBO", &index), game / "AddOns/Tank.pbo");
    EXPECT_EQ(MakeDirectory(folder + "tank.PBO", &index), FsResult::AlreadyExists);
    EXPECT_EQ(RenamePath(folder + "tank.pbo", folder + "Gun.pbo", &index), FsResult::Ok);
    EXPECT_EQ(index.Find(game / "AddOns/", "TANK.pbo"), std::nullopt);
    EXPECT_EQ(index.Find(game / "AddOns/", "gun.PBO"), "Gun.pbo");
    // Another letter case of a name made through the index counts as taken.
    EXPECT_EQ(MakeDirectory(folder + "sub", &index), FsResult::Ok);
    EXPECT_EQ(MakeDirectory(folder + "SUB", &index), FsResult::AlreadyExists);
    EXPECT_EQ(RemoveEmptyDirectory(folder + "Sub", &index), FsResult::Ok);
    EXPECT_EQ(MakeDirectory(folder + "SUB", &index), FsResult::Ok);
    EXPECT_TRUE(game.Exists("AddOns/SUB"));
    EXPECT_EQ(RemoveFile(folder + "GUN.PBO", &index), FsResult::Ok);
    EXPECT_EQ(RenamePath(folder + "SUB", folder + "gun.pbo", &index), FsResult::Ok);
    EXPECT_EQ(game.List("AddOns"), std::vector<std::string>{"gun.pbo"});
}

TEST(NameIndex, FindAllListsEveryCaseOfAName) {
    TempGameFolder game;
    game.Write("a/x.pbo", "1");
    game.Write("a/X.PBO", "2");
    game.Write("a/y.pbo", "3");
    CNameIndex index;
    std::vector<std::string> all = index.FindAll(game / "a/", "x.Pbo");
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"X.PBO", "x.pbo"}));
    EXPECT_TRUE(index.FindAll(game / "a/", "z.pbo").empty());
    EXPECT_TRUE(index.FindAll(game / "none/", "x.pbo").empty());
}
