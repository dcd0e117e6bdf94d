#include "platform/WineRegistry.h"

#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using namespace quillory::platform;
using quillory::test::TempGameFolder;

namespace {

// Written as Wine writes "system.reg": doubled backslashes, "[key] timestamp" lines, "#time="
// lines, quotes and non-ASCII characters escaped.
const char* const SYSTEM_REG = R"(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Marrowby] 1700000000
#time=1d9f0e4c3b2a100
"MAIN"="wrong key"

[Software\\Marrowby\\Ironvale] 1700000001
#time=1d9f0e4c3b2a101
"Dir"=dword:00000001
"main"="C:\\Program Files (x86)\\Marrowby\\Ironvale\\"
"Quoted"="say \"hi\"\tnow"
"Caf\x00e9"="Caf\x00e9 \x00e9t\x00e9"
@="default"

[Software\\Marrowby\\Ironvale\\Sub] 1700000002
"MAIN"="sub key"

[Software\\Wow6432Node\\Marrowby\\Ironvale Uprising] 1700000003
"MAIN"=str(2):"D:\\Games\\IVU\\"
)";

} // namespace

TEST(WineRegistry, ReadsEscapedStringsOfTheExactKey) {
    EXPECT_EQ(FindRegistryValue(SYSTEM_REG, "SOFTWARE\\Marrowby\\Ironvale", "MAIN"),
              "C:\\Program Files (x86)\\Marrowby\\Ironvale\\");
    EXPECT_EQ(FindRegistryValue(SYSTEM_REG, "Software\\Marrowby\\Ironvale", "Quoted"),
              "say \"hi\"\tnow");
    EXPECT_EQ(FindRegistryValue(SYSTEM_REG, "Software\\Marrowby\\Ironvale", "caf\xc3\xa9"),
              "Caf\xc3\xa9 \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(FindRegistryValue(SYSTEM_REG, "Software\\Marrowby\\Ironvale", "@"), "default");
    EXPECT_EQ(FindRegistryValue(SYSTEM_REG, "Software\\Marrowby", "MAIN"), "wrong key");
    EXPECT_EQ(FindRegistryValue(SYSTEM_REG, "Software\\Marrowby\\Ironvale\\Sub", "MAIN"),
              "sub key");
    // Not strings, absent values and absent keys.
    EXPECT_FALSE(FindRegistryValue(SYSTEM_REG, "Software\\Marrowby\\Ironvale", "Dir"));
    EXPECT_FALSE(FindRegistryValue(SYSTEM_REG, "Software\\Marrowby\\Ironvale", "Other"));
    EXPECT_FALSE(FindRegistryValue(SYSTEM_REG, "Software\\Marrowby\\Ironvale Uprising", "MAIN"));
    EXPECT_FALSE(FindRegistryValue("[Software\\\\Broken", "Software\\Broken", "MAIN"));
    EXPECT_FALSE(FindRegistryValue("[A] 1\n\"MAIN\"=\"unterminated", "A", "MAIN"));
}

TEST(WineRegistry, ReadsThePrefixFileAndThe32BitView) {
    TempGameFolder prefix;
    prefix.Write("system.reg", SYSTEM_REG);
    EXPECT_EQ(ReadLocalMachineValue(prefix.Path(), "SOFTWARE\\Marrowby\\Ironvale Uprising", "MAIN"),
              "D:\\Games\\IVU\\");
    EXPECT_EQ(ReadLocalMachineValue(prefix.Path(), "SOFTWARE\\Marrowby\\Ironvale", "MAIN"),
              "C:\\Program Files (x86)\\Marrowby\\Ironvale\\");
    EXPECT_FALSE(ReadLocalMachineValue(prefix / "none", "SOFTWARE\\Marrowby\\Ironvale", "MAIN"));
    EXPECT_FALSE(ReadLocalMachineValue("", "SOFTWARE\\Marrowby\\Ironvale", "MAIN"));
}

TEST(WineRegistry, OnlyARegularFileWithinTheBoundIsRead) {
    TempGameFolder prefix;
    const std::string path = prefix / "system.reg";
    const char* const key = "SOFTWARE\\Marrowby\\Ironvale";
    // A device behind the name must not be read until memory runs out.
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_FALSE(ReadLocalMachineValue(prefix.Path(), key, "MAIN"));
    std::filesystem::remove(path);
    // Nor a pipe without a writer block the lookup.
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(ReadLocalMachineValue(prefix.Path(), key, "MAIN"));
    std::filesystem::remove(path);
    // A file one byte over the bound (sparse: nothing is written) is refused, with the key at
    // its start.
    prefix.Write("system.reg", SYSTEM_REG);
    EXPECT_TRUE(ReadLocalMachineValue(prefix.Path(), key, "MAIN"));
    std::filesystem::resize_file(path, REGISTRY_MAX_FILE_BYTES + 1);
    EXPECT_FALSE(ReadLocalMachineValue(prefix.Path(), key, "MAIN"));
}

TEST(WineRegistry, MapsDrivesIntoThePrefix) {
    TempGameFolder prefix, elsewhere;
    prefix.Write("drive_c/Program Files/Marrowby/Ironvale/IRONVALE.EXE", "MZ");
    elsewhere.Write("Games/IVU/IRONVALEUPRISING.EXE", "MZ");
    prefix.MakeFolder("dosdevices");
    std::filesystem::create_symlink(elsewhere.Path(), prefix / "dosdevices/d:");

    EXPECT_EQ(MapWindowsPath(prefix.Path(), "C:\\PROGRAM FILES\\marrowby\\Ironvale\\"),
              prefix / "drive_c/Program Files/Marrowby/Ironvale/");
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "c:\\"), prefix / "drive_c/");
    EXPECT_EQ(std::filesystem::path(*MapWindowsPath(prefix.Path(), "d:\\games\\ivu")),
              std::filesystem::canonical(elsewhere.Path()) / "Games/IVU");
    EXPECT_FALSE(MapWindowsPath(prefix.Path(), "E:\\Games"));
    EXPECT_FALSE(MapWindowsPath(prefix.Path(), "\\\\server\\share"));
    EXPECT_FALSE(MapWindowsPath(prefix.Path(), "Games\\IVU"));
    EXPECT_FALSE(MapWindowsPath("", "C:\\"));
}

TEST(WineRegistry, ThePrefixComesFromTheEnvironment) {
    const char* oldPrefix = std::getenv("WINEPREFIX");
    const std::string saved = oldPrefix ? oldPrefix : "";
    ::setenv("WINEPREFIX", "/opt/prefix", 1);
    EXPECT_EQ(DefaultWinePrefix(), "/opt/prefix");
    ::unsetenv("WINEPREFIX");
    if (const char* home = std::getenv("HOME"); home && *home) {
        EXPECT_EQ(DefaultWinePrefix(), std::string(home) + "/.wine");
    }
    if (oldPrefix)
        ::setenv("WINEPREFIX", saved.c_str(), 1);
}
