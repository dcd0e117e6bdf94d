// The settings file: files of every readable version built byte by byte, round trips, damaged
// files and a save that cannot be written.
#include "watch/core/SettingsFile.h"

#include "tests/support/ScopedUnprivileged.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace quillory;
using quillory::test::ReadFileBytes;
using quillory::test::ScratchFolder;
using quillory::test::WriteFileBytes;

namespace {

// Little-endian bytes written out by hand, independent of the stream helpers under test.
class Bytes {
public:
    Bytes& U8(uint8_t v) {
        data_ += char(v);
        return *this;
    }
    Bytes& I32(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8)
            data_ += char((u >> shift) & 0xFF);
        return *this;
    }
    Bytes& Text(const std::string& text) {
        data_ += text;
        data_ += '\0';
        return *this;
    }
    const std::string& Str() const { return data_; }

private:
    std::string data_;
};

ServerEntry Entry(std::string address, std::string password, std::string description,
                  std::string parameters, bool automaticMods) {
    return ServerEntry{std::move(address), std::move(password), std::move(description),
                       std::move(parameters), automaticMods};
}

void ExpectEntry(const Handle<ServerEntry>& actual, const ServerEntry& expected) {
    ASSERT_TRUE(actual);
    EXPECT_EQ(actual->address, expected.address);
    EXPECT_EQ(actual->password, expected.password);
    EXPECT_EQ(actual->description, expected.description);
    EXPECT_EQ(actual->startupParameters, expected.startupParameters);
    EXPECT_EQ(actual->automaticMods, expected.automaticMods);
}

class SettingsFile : public ::testing::Test {
protected:
    ScratchFolder folder;
    const std::string path = folder / SETTINGS_FILE;

    Settings LoadBytes(const std::string& bytes) {
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return LoadSettings(path);
    }
};

} // namespace

TEST_F(SettingsFile, SaveThenLoadGivesBackEveryField) {
    Settings settings;
    settings.entries.push_back(std::make_shared<ServerEntry>(
        Entry("127.10.0.5:2302", "  ", "Home", "-mod=@a -nomap", false)));
    settings.entries.push_back(
        std::make_shared<ServerEntry>(Entry("localhost", "", "localhost", "", true)));
    settings.entries.push_back(std::make_shared<ServerEntry>(
        Entry("x:1", "p\xE9w", "Caf\xE9 \"quoted\"", "\"-mod=a b\" -x", true)));
    settings.selectedIndex = 2;
    settings.gameFolder = "C:\\Games\\Ironvale\\";
    ASSERT_TRUE(SaveSettings(path, settings));

    Settings loaded = LoadSettings(path);
    ASSERT_EQ(loaded.entries.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        ExpectEntry(loaded.entries[i], *settings.entries[i]);
    EXPECT_EQ(loaded.selectedIndex, 2);
    EXPECT_EQ(loaded.gameFolder, settings.gameFolder);
}

TEST_F(SettingsFile, SavedBytesAreVersionTwoLayout) {
    Settings settings;
    settings.entries.push_back(std::make_shared<ServerEntry>(Entry("a:1", "pw", "A", "-x", false)));
    settings.selectedIndex = 0;
    settings.gameFolder = "G\\";
    ASSERT_TRUE(SaveSettings(path, settings));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, Bytes()
                         .U8(0)
                         .I32(2)
                         .I32(1)
                         .Text("a:1")
                         .Text("pw")
                         .Text("A")
                         .Text("-x")
                         .U8(0)
                         .I32(0)
                         .Text("G\\")
                         .Str());
}

TEST_F(SettingsFile, EmptyListIsMarkerVersionCountIndexAndFolder) {
    Settings settings;
    settings.selectedIndex = -1;
    settings.gameFolder = "D:\\IVL\\";
    ASSERT_TRUE(SaveSettings(path, settings));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, Bytes().U8(0).I32(2).I32(0).I32(-1).Text("D:\\IVL\\").Str());
}

TEST_F(SettingsFile, NoSelectionIsStoredAndLoadedAsMinusOne) {
    Settings settings;
    settings.entries.push_back(std::make_shared<ServerEntry>(Entry("a", "", "a", "", true)));
    settings.selectedIndex = -1;
    ASSERT_TRUE(SaveSettings(path, settings));
    EXPECT_EQ(LoadSettings(path).selectedIndex, -1);
}

TEST_F(SettingsFile, VersionOneDerivesAutomaticModsFromTheParameters) {
    Settings loaded = LoadBytes(Bytes()
                                    .U8(0)
                                    .I32(1)
                                    .I32(3)
                                    .Text("127.2.3.4:2302")
                                    .Text("secret")
                                    .Text("Mods by hand")
                                    .Text("-nomap -MOD=@one;@two")
                                    .Text("127.6.7.8")
                                    .Text("")
                                    .Text("Plain")
                                    .Text("-nomap -world=empty")
                                    .Text("e")
                                    .Text("")
                                    .Text("Empty mod switch")
                                    .Text("-Mod=")
                                    .I32(1)
                                    .Text("C:\\IVL\\")
                                    .Str());
    ASSERT_EQ(loaded.entries.size(), 3u);
    ExpectEntry(loaded.entries[0],
                Entry("127.2.3.4:2302", "secret", "Mods by hand", "-nomap -MOD=@one;@two", false));
    ExpectEntry(loaded.entries[1], Entry("127.6.7.8", "", "Plain", "-nomap -world=empty", true));
    // Files of this version always took any "-mod=" word, empty or not, as a mod list.
    ExpectEntry(loaded.entries[2], Entry("e", "", "Empty mod switch", "-Mod=", false));
    EXPECT_EQ(loaded.selectedIndex, 1);
    EXPECT_EQ(loaded.gameFolder, "C:\\IVL\\");
}

TEST_F(SettingsFile, VersionZeroHasNoGameFolder) {
    // Bytes after the selection are not a folder in this version and must be left alone.
    Settings loaded = LoadBytes(Bytes()
                                    .U8(0)
                                    .I32(0)
                                    .I32(1)
                                    .Text("127.9.9.9:2400")
                                    .Text("pw")
                                    .Text("Old")
                                    .Text("-mod=@x")
                                    .I32(0)
                                    .Text("C:\\Not\\A\\Folder\\")
                                    .Str());
    ASSERT_EQ(loaded.entries.size(), 1u);
    ExpectEntry(loaded.entries[0], Entry("127.9.9.9:2400", "pw", "Old", "-mod=@x", false));
    EXPECT_EQ(loaded.selectedIndex, 0);
    EXPECT_EQ(loaded.gameFolder, "");
}

TEST_F(SettingsFile, MissingFileGivesEmptyListAndSelectionZero) {
    Settings loaded = LoadSettings(folder / "absent.sav");
    EXPECT_TRUE(loaded.entries.empty());
    EXPECT_EQ(loaded.selectedIndex, 0);
    EXPECT_EQ(loaded.gameFolder, "");
}

TEST_F(SettingsFile, ForeignMarkerOrVersionUsesNothing) {
    const std::string body =
        Bytes().I32(1).Text("a").Text("").Text("a").Text("").U8(1).I32(0).Text("G\\").Str();
    const std::vector<std::string> files = {
        Bytes().U8(1).I32(2).Str() + body,
        Bytes().U8(0).I32(3).Str() + body,
        Bytes().U8(0).I32(-1).Str() + body,
        "",
    };
    for (const std::string& bytes : files) {
        Settings loaded = LoadBytes(bytes);
        EXPECT_TRUE(loaded.entries.empty());
        EXPECT_EQ(loaded.selectedIndex, 0);
        EXPECT_EQ(loaded.gameFolder, "");
    }
}

TEST_F(SettingsFile, TruncatedFilesKeepTheCompleteEntries) {
    const std::string whole = Bytes()
                                  .U8(0)
                                  .I32(2)
                                  .I32(2)
                                  .Text("first")
                                  .Text("p")
                                  .Text("First")
                                  .Text("-x")
                                  .U8(0)
                                  .Text("second")
                                  .Text("q")
                                  .Text("Second")
                                  .Text("-y")
                                  .U8(1)
                                  .I32(1)
                                  .Text("G\\")
                                  .Str();
    const size_t firstEnd = 1 + 4 + 4 + 6 + 2 + 6 + 3 + 1;
    const size_t secondEnd = firstEnd + 7 + 2 + 7 + 3 + 1;
    // Every cut of the file: entries are kept only when complete, and loading always ends.
    for (size_t length = 0; length < whole.size(); ++length) {
        Settings loaded = LoadBytes(whole.substr(0, length));
        const size_t complete = length >= secondEnd ? 2u : length >= firstEnd ? 1u : 0u;
        ASSERT_EQ(loaded.entries.size(), complete) << "cut at " << length;
        if (complete >= 1)
            ExpectEntry(loaded.entries[0], Entry("first", "p", "First", "-x", false));
        if (complete == 2)
            ExpectEntry(loaded.entries[1], Entry("second", "q", "Second", "-y", true));
        const bool hasSelection = length >= secondEnd + 4;
        EXPECT_EQ(loaded.selectedIndex, hasSelection ? 1 : 0) << "cut at " << length;
        // The folder text ends at the end of the data at the latest.
        EXPECT_EQ(loaded.gameFolder, hasSelection
                                         ? whole.substr(secondEnd + 4, length - secondEnd - 4)
                                         : std::string())
            << "cut at " << length;
    }
}

TEST_F(SettingsFile, ACountAtTheBoundEndsWithTheData) {
    Settings loaded = LoadBytes(
        Bytes().U8(0).I32(2).I32(10000).Text("a").Text("").Text("a").Text("").U8(1).Str());
    ASSERT_EQ(loaded.entries.size(), 1u);
    EXPECT_EQ(loaded.selectedIndex, 0);
}

TEST_F(SettingsFile, FilesThatCannotBeReadAreDamagedAndUseNothing) {
    const std::string entry = Bytes().Text("127.0.0.1").Text("").Text("a").Text("").U8(1).Str();
    const std::string tail = Bytes().I32(0).Text("G\\").Str();
    const std::string longText(4097, 'x');
    const struct {
        const char* name;
        std::string bytes;
        const char* problem;
    } cases[] = {
        {"newer version", Bytes().U8(0).I32(3).I32(1).Str() + entry + tail,
         "it is of unknown version 3"},
        {"other marker", Bytes().U8(7).I32(2).I32(1).Str() + entry + tail,
         "it does not start with the settings marker"},
        {"all zeros", std::string(4096, '\0'), "it holds nothing but zero bytes"},
        {"empty", "", "it is empty"},
        {"count over the bound", Bytes().U8(0).I32(2).I32(10001).Str() + entry + tail,
         "it holds more than 10000 servers"},
        {"address over the bound",
         Bytes().U8(0).I32(2).I32(1).Text(longText).Text("").Text("a").Text("").U8(1).Str() + tail,
         "a text is longer than 4096 bytes"},
        {"folder over the bound",
         Bytes().U8(0).I32(2).I32(1).Str() + entry + Bytes().I32(0).Text(longText).Str(),
         "a text is longer than 4096 bytes"},
        {"data after the end", Bytes().U8(0).I32(2).I32(1).Str() + entry + tail + "more",
         "it has data after its end"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        const SettingsLoad load = ReadSettingsFile(path);
        EXPECT_EQ(load.state, SettingsLoad::DAMAGED) << c.name;
        EXPECT_EQ(load.problem, c.problem) << c.name;
        EXPECT_TRUE(load.settings.entries.empty()) << c.name;
        EXPECT_EQ(load.settings.gameFolder, "") << c.name;
    }
}

TEST_F(SettingsFile, TheBoundsThemselvesAreRead) {
    Bytes bytes;
    bytes.U8(0).I32(2).I32(10000);
    const std::string longest(4096, 'y');
    for (int i = 0; i < 10000; ++i)
        bytes.Text(i == 0 ? longest : "a").Text("").Text("d").Text("").U8(1);
    bytes.I32(9999).Text(longest);
    const SettingsLoad load = [&] {
        EXPECT_TRUE(WriteFileBytes(path, bytes.Str()));
        return ReadSettingsFile(path);
    }();
    EXPECT_EQ(load.state, SettingsLoad::READ) << load.problem;
    ASSERT_EQ(load.settings.entries.size(), 10000u);
    EXPECT_EQ(load.settings.entries[0]->address, longest);
    EXPECT_EQ(load.settings.selectedIndex, 9999);
    EXPECT_EQ(load.settings.gameFolder, longest);
    EXPECT_EQ(ReadSettingsFile(folder / "absent.sav").state, SettingsLoad::ABSENT);
}

TEST_F(SettingsFile, AFileThatEndsEarlyIsDamagedButKeepsItsCompleteEntries) {
    const std::string whole =
        Bytes().U8(0).I32(2).I32(2).Text("a").Text("").Text("A").Text("").U8(1).Str();
    ASSERT_TRUE(WriteFileBytes(path, whole + "b"));
    const SettingsLoad load = ReadSettingsFile(path);
    EXPECT_EQ(load.state, SettingsLoad::DAMAGED);
    EXPECT_EQ(load.problem, "it ends early");
    ASSERT_EQ(load.settings.entries.size(), 1u);
    ExpectEntry(load.settings.entries[0], Entry("a", "", "A", "", true));
}

TEST_F(SettingsFile, OnlyARegularFileOfAtMost16MegabytesIsRead) {
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_EQ(ReadSettingsFile(path).problem, "it is not a regular file");
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(ReadSettingsFile(path).problem, "it is not a regular file");
    EXPECT_EQ(ReadSettingsFile(path).state, SettingsLoad::DAMAGED);
    std::filesystem::remove(path);
    // A valid file made larger (sparse) than the bound.
    Settings settings;
    settings.entries.push_back(std::make_shared<ServerEntry>(Entry("a", "", "A", "", true)));
    ASSERT_TRUE(SaveSettings(path, settings));
    std::filesystem::resize_file(path, (16u << 20) + 1);
    const SettingsLoad load = ReadSettingsFile(path);
    EXPECT_EQ(load.problem, "it is too large");
    EXPECT_TRUE(load.settings.entries.empty());
}

TEST_F(SettingsFile, TextsOverTheBoundAreCutWhenWritten) {
    Settings settings;
    settings.entries.push_back(
        std::make_shared<ServerEntry>(Entry("127.0.0.1", "", std::string(5000, 'd'), "", true)));
    settings.gameFolder = std::string(5000, 'g');
    ASSERT_TRUE(SaveSettings(path, settings));
    const SettingsLoad load = ReadSettingsFile(path);
    EXPECT_EQ(load.state, SettingsLoad::READ) << load.problem;
    ASSERT_EQ(load.settings.entries.size(), 1u);
    EXPECT_EQ(load.settings.entries[0]->description, std::string(4096, 'd'));
    EXPECT_EQ(load.settings.gameFolder, std::string(4096, 'g'));
}

TEST_F(SettingsFile, MovingAsideReplacesAnOlderCopyOrLeavesTheFile) {
    ASSERT_TRUE(WriteFileBytes(path, "damaged"));
    ASSERT_TRUE(WriteFileBytes(path + ".bad", "older"));
    std::string error;
    ASSERT_TRUE(MoveSettingsAside(path, error)) << error;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path + ".bad", bytes));
    EXPECT_EQ(bytes, "damaged");
    EXPECT_FALSE(std::filesystem::exists(path));
    // A folder in the way: the file stays where it is, and why is said.
    ASSERT_TRUE(WriteFileBytes(path, "damaged again"));
    std::filesystem::remove(path + ".bad");
    ASSERT_TRUE(WriteFileBytes(path + ".bad/inside", "x"));
    EXPECT_FALSE(MoveSettingsAside(path, error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, "damaged again");
}

TEST_F(SettingsFile, FailedWriteLeavesTheOldFile) {
    ScratchFolder locked;
    const std::string lockedPath = locked / SETTINGS_FILE;
    Settings old;
    old.entries.push_back(std::make_shared<ServerEntry>(Entry("old", "", "old", "", true)));
    ASSERT_TRUE(SaveSettings(lockedPath, old));
    std::string before;
    ASSERT_TRUE(ReadFileBytes(lockedPath, before));
    ASSERT_EQ(::chmod(locked.Path().c_str(), 0555), 0);

    Settings changed;
    changed.entries.push_back(std::make_shared<ServerEntry>(Entry("new", "", "new", "", true)));
    bool saved = true;
    {
        quillory::test::ScopedUnprivileged unprivileged;
        if (!unprivileged.Active()) {
            ::chmod(locked.Path().c_str(), 0755);
            GTEST_SKIP() << "cannot give up the permission bypass";
        }
        saved = SaveSettings(lockedPath, changed);
    }
    ::chmod(locked.Path().c_str(), 0755);
    EXPECT_FALSE(saved);
    std::string after;
    ASSERT_TRUE(ReadFileBytes(lockedPath, after));
    EXPECT_EQ(after, before);
    EXPECT_FALSE(std::filesystem::exists(lockedPath + ".part"));
}

TEST_F(SettingsFile, SaveReplacesAnOlderFile) {
    ASSERT_TRUE(WriteFileBytes(path, std::string(10000, 'x')));
    Settings settings;
    settings.selectedIndex = 0;
    ASSERT_TRUE(SaveSettings(path, settings));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, Bytes().U8(0).I32(2).I32(0).I32(0).Text("").Str());
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

TEST_F(SettingsFile, AZeroInsideATextCannotShiftTheFieldsAfterIt) {
    Settings settings;
    settings.entries.push_back(std::make_shared<ServerEntry>(
        Entry(std::string("a\0b", 3), std::string("p\0", 2), "A", "-x", false)));
    settings.entries.push_back(std::make_shared<ServerEntry>(Entry("next", "", "N", "", true)));
    settings.selectedIndex = 1;
    settings.gameFolder = std::string("G\\\0junk", 7);
    ASSERT_TRUE(SaveSettings(path, settings));
    Settings loaded = LoadSettings(path);
    ASSERT_EQ(loaded.entries.size(), 2u);
    ExpectEntry(loaded.entries[0], Entry("a", "p", "A", "-x", false));
    ExpectEntry(loaded.entries[1], Entry("next", "", "N", "", true));
    EXPECT_EQ(loaded.selectedIndex, 1);
    EXPECT_EQ(loaded.gameFolder, "G\\");
}
