#include "platform/FileSystem.h"

#include "tests/support/ScopedUnprivileged.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quillory::platform;
using quillory::test::TempGameFolder;

TEST(FileSystem, ResolvesEachSegmentIgnoringCase) {
    TempGameFolder game;
    game.Write("Res/AddOns/Plants.pbo", "p");
    EXPECT_EQ(ResolveCase(game.Path() + "res\\addons\\PLANTS.PBO"), game / "Res/AddOns/Plants.pbo");
    // Segments that exist nowhere stay as written, below the part that was found.
    EXPECT_EQ(ResolveCase(game.Path() + "RES\\new\\x.pbo"), game / "Res/new/x.pbo");
    EXPECT_EQ(ResolveCase(game.Path() + "res\\addons\\"), game / "Res/AddOns/");
    EXPECT_EQ(NativePath("a\\b/c\\"), "a/b/c/");
}

TEST(FileSystem, RenameRefusesATargetInAnyLetterCase) {
    TempGameFolder game;
    game.Write("AddOns/x.pbo", "new");
    game.Write("AddOns/X.PBO.00c0ffee.aab", "old");
    const std::string folder = game.Path() + "AddOns\\";

    EXPECT_EQ(RenamePath(folder + "x.pbo", folder + "x.pbo.00c0ffee.aab"), FsResult::AlreadyExists);
    EXPECT_EQ(RenamePath(folder + "X.PBO.00c0ffee.aab", folder + "x.pbo"), FsResult::AlreadyExists);
    EXPECT_EQ(game.Read("AddOns/x.pbo"), "new");
    EXPECT_EQ(game.Read("AddOns/X.PBO.00c0ffee.aab"), "old");

    // Changing only the letter case of an entry is allowed, as on Windows.
    EXPECT_EQ(RenamePath(folder + "x.pbo", folder + "X.pbo"), FsResult::Ok);
    EXPECT_TRUE(game.Exists("AddOns/X.pbo"));
    EXPECT_FALSE(game.Exists("AddOns/x.pbo"));
}

TEST(FileSystem, RenameMovesAndFindsTheSourceInAnyCase) {
    TempGameFolder game;
    game.Write("AddOns/tank.pbo", "tank");
    game.MakeFolder("@Mod/addons");
    EXPECT_EQ(RenamePath(game.Path() + "ADDONS\\TANK.pbo", game.Path() + "@mod\\ADDONS\\tank.pbo"),
              FsResult::Ok);
    EXPECT_EQ(game.Read("@Mod/addons/tank.pbo"), "tank");
    EXPECT_FALSE(game.Exists("AddOns/tank.pbo"));
}

TEST(FileSystem, ResultsOfMissingEntries) {
    TempGameFolder game;
    game.Write("a.pbo", "a");
    struct Case {
        FsResult result;
        FsResult expected;
        const char* what;
    } cases[] = {
        {RenamePath(game / "none.pbo", game / "b.pbo"), FsResult::FileNotFound, "missing source"},
        {RenamePath(game / "none/x.pbo", game / "b.pbo"), FsResult::PathNotFound,
         "source folder missing"},
        {RenamePath(game / "a.pbo", game / "none/b.pbo"), FsResult::PathNotFound,
         "target folder missing"},
        {RemoveFile(game / "none.pbo"), FsResult::FileNotFound, "delete missing file"},
        {RemoveFile(game / "none/x.pbo"), FsResult::PathNotFound, "delete in missing folder"},
        {MakeDirectory(game / "none/sub"), FsResult::PathNotFound, "mkdir in missing folder"},
        {RemoveEmptyDirectory(game / "none"), FsResult::FileNotFound, "rmdir missing"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, c.expected) << c.what;
    EXPECT_TRUE(game.Exists("a.pbo"));
}

TEST(FileSystem, DeleteAndFolderOperations) {
    TempGameFolder game;
    game.Write("AddOns/x.pbo", "x");
    game.MakeFolder("Empty");

    EXPECT_EQ(RemoveFile(game / "AddOns"), FsResult::AccessDenied) << "a folder is not a file";
    EXPECT_EQ(RemoveEmptyDirectory(game / "AddOns/x.pbo"), FsResult::NotADirectory);
    EXPECT_EQ(RemoveEmptyDirectory(game.Path() + "addons\\"), FsResult::DirNotEmpty);
    EXPECT_EQ(MakeDirectory(game.Path() + "ADDONS\\"), FsResult::AlreadyExists);
    EXPECT_EQ(MakeDirectory(game.Path() + "addons\\sub\\"), FsResult::Ok);
    EXPECT_TRUE(game.Exists("AddOns/sub"));

    EXPECT_EQ(RemoveFile(game.Path() + "AddOns\\X.PBO"), FsResult::Ok);
    EXPECT_FALSE(game.Exists("AddOns/x.pbo"));
    EXPECT_EQ(RemoveEmptyDirectory(game.Path() + "addons\\SUB\\"), FsResult::Ok);
    EXPECT_EQ(RemoveEmptyDirectory(game.Path() + "AddOns\\"), FsResult::Ok);
    EXPECT_EQ(RemoveEmptyDirectory(game / "Empty"), FsResult::Ok);
    EXPECT_TRUE(game.List("").empty());
}

TEST(FileSystem, PermissionsGiveAccessDenied) {
    TempGameFolder game;
    game.Write("ReadOnly/x.pbo", "x");
    ASSERT_EQ(::chmod((game / "ReadOnly").c_str(), 0555), 0);
    quillory::test::ScopedUnprivileged unprivileged;
    if (!unprivileged.Active())
        GTEST_SKIP() << "cannot give up the permission bypass";
    EXPECT_EQ(RenamePath(game / "ReadOnly/x.pbo", game / "ReadOnly/y.pbo"), FsResult::AccessDenied);
    EXPECT_EQ(RemoveFile(game / "ReadOnly/x.pbo"), FsResult::AccessDenied);
    EXPECT_EQ(MakeDirectory(game / "ReadOnly/sub"), FsResult::AccessDenied);
    EXPECT_TRUE(game.Exists("ReadOnly/x.pbo"));
    ::chmod((game / "ReadOnly").c_str(), 0755);
}

TEST(FileSystem, AttributesAndFreeSpace) {
    TempGameFolder game;
    game.Write("AddOns/x.pbo", "12345");
    game.Write(".hidden", "");
    game.SetTime("AddOns/x.pbo", 0, 0);

    auto file = GetAttributes(game.Path() + "addons\\X.pbo");
    ASSERT_TRUE(file.has_value());
    EXPECT_FALSE(file->directory);
    EXPECT_EQ(file->size, 5u);
    EXPECT_EQ(file->modified, quillory::FileTimeFromCivil(1970, 1, 1, 0, 0, 0));
    auto folder = GetAttributes(game / "AddOns/");
    ASSERT_TRUE(folder.has_value());
    EXPECT_TRUE(folder->directory);
    EXPECT_TRUE(GetAttributes(game / ".hidden")->hidden);
    EXPECT_FALSE(GetAttributes(game / "none").has_value());
    EXPECT_TRUE(PathExists(game.Path() + "ADDONS\\x.PBO"));
    EXPECT_FALSE(PathExists(game / "AddOns/y.pbo"));

    auto space = FreeDiskSpace(game.Path());
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(*space, 0u);
    EXPECT_FALSE(FreeDiskSpace(game / "none/deeper").has_value());
}
