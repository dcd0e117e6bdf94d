#include "TempGameFolder.h"

#include "watch/core/GameFolderLookup.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillory {
namespace {

TEST(GameFolderLookupTest, ExecutableCheckIgnoresCaseAndWantsAFile) {
    test::TempGameFolder withOriginal, withExpansion, withFolder, empty;
    withOriginal.Write("Ironvale.exe", "exe");
    withExpansion.Write("ironvaleuprising.EXE", "exe");
    withFolder.MakeFolder("IRONVALE.EXE");
    EXPECT_TRUE(HasGameExecutable(withOriginal.Path()));
    EXPECT_TRUE(HasGameExecutable(withExpansion.Path()));
    String noSeparator = withExpansion.Path();
    noSeparator.pop_back();
    EXPECT_TRUE(HasGameExecutable(noSeparator));
    EXPECT_FALSE(HasGameExecutable(withFolder.Path()));
    EXPECT_FALSE(HasGameExecutable(empty.Path()));
    EXPECT_FALSE(HasGameExecutable(""));
}

// A Wine prefix: "system.reg" as Wine writes it, "drive_c", and "dosdevices\d:" linking to a
// folder elsewhere.
class WinePrefixTest : public ::testing::Test {
protected:
    void SetUp() override {
        prefix.MakeFolder("dosdevices");
        std::filesystem::create_symlink(elsewhere.Path(), prefix / "dosdevices/d:");
        std::filesystem::create_symlink("../drive_c", prefix / "dosdevices/c:");
    }
    void SetUpRegistry(const String& keys) {
        prefix.Write("system.reg", "WINE REGISTRY Version 2\n"
                                   ";; All keys relative to \\\\Machine\n\n#arch=win32\n\n" +
                                       keys);
    }

    test::TempGameFolder prefix, elsewhere;
};

TEST_F(WinePrefixTest, TheFirstKeyThatNamesAGameFolderWins) {
    prefix.Write("drive_c/Program Files/Marrowby/Ironvale/readme.txt", "no game here");
    elsewhere.Write("Games/IVU/IronvaleUprising.exe", "exe");
    SetUpRegistry("[Software\\\\Marrowby\\\\Ironvale] 1700000000\n"
                  "#time=1d9f0e4c3b2a100\n"
                  "\"MAIN\"=\"C:\\\\Program Files\\\\Marrowby\\\\Ironvale\\\\\"\n\n"
                  "[Software\\\\Marrowby\\\\Ironvale Uprising] 1700000001\n"
                  "#time=1d9f0e4c3b2a101\n"
                  "\"Version\"=\"1.96\"\n"
                  "\"MAIN\"=\"D:\\\\games\\\\ivu\"\n");
    const String found = GameFolderFromRegistry(prefix.Path());
    EXPECT_EQ(std::filesystem::path(found),
              std::filesystem::canonical(elsewhere.Path()) / "Games/IVU/");
    EXPECT_EQ(found.back(), '/');
}

TEST_F(WinePrefixTest, TheOriginalGameOnDriveC) {
    prefix.Write("drive_c/IVL/IRONVALE.EXE", "exe");
    SetUpRegistry("[Software\\\\Marrowby\\\\Ironvale] 1700000000\n"
                  "\"MAIN\"=\"c:\\\\ivl\\\\\"\n");
    EXPECT_EQ(GameFolderFromRegistry(prefix.Path()), prefix / "drive_c/IVL/");
}

TEST_F(WinePrefixTest, NoUsableKeyLeavesTheFolderEmpty) {
    prefix.Write("drive_c/IVL/notes.txt", "x");
    SetUpRegistry("[Software\\\\Marrowby\\\\Ironvale] 1700000000\n"
                  "\"MAIN\"=\"C:\\\\IVL\\\\\"\n"
                  "[Software\\\\Marrowby\\\\Ironvale Uprising] 1700000000\n"
                  "\"MAIN\"=\"E:\\\\IVL\\\\\"\n");
    EXPECT_EQ(GameFolderFromRegistry(prefix.Path()), "");
    EXPECT_EQ(GameFolderFromRegistry(prefix / "no-such-prefix"), "");
    EXPECT_EQ(GameFolderFromRegistry(""), "");
}

} // namespace
} // namespace quillory
