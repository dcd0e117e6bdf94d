// The program's data folder: where it is, how it is made and entered, and when a command
// takes it instead of the current directory.
#include "platform/DataFolder.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace quillory;
using namespace quillory::test;
namespace fs = std::filesystem;

namespace {

// Runs the test body in `folder`, and returns to where the test started afterwards.
class CurrentDirectory final {
public:
    explicit CurrentDirectory(const fs::path& folder) : saved_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~CurrentDirectory() { fs::current_path(saved_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    fs::path saved_;
};

} // namespace

TEST(DataFolder, FollowsXdgDataHomeElseHome) {
    struct Case {
        const char* xdgDataHome;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/x/data", "/home/p", "/x/data/quillory"},
        {"/x/data/", "/home/p", "/x/data/quillory"},
        {nullptr, "/home/p", "/home/p/.local/share/quillory"},
        {"", "/home/p", "/home/p/.local/share/quillory"},
        // A relative XDG_DATA_HOME is to be ignored.
        {"data", "/home/p", "/home/p/.local/share/quillory"},
        {nullptr, "/home/p/", "/home/p/.local/share/quillory"},
        {"/", nullptr, "/quillory"},
        {nullptr, nullptr, ""},
        {nullptr, "", ""},
        {"data", "home", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::DataFolderFor(c.xdgDataHome, c.home), c.expected)
            << (c.xdgDataHome ? c.xdgDataHome : "(unset)") << " " << (c.home ? c.home : "(unset)");
}

TEST(DataFolder, EnteringMakesTheMissingFoldersForTheOwnerOnly) {
    ScratchFolder scratch;
    CurrentDirectory back(scratch.Path());
    const fs::path folder = scratch.Path() / "home/.local/share/quillory";
    String error;
    ASSERT_TRUE(platform::EnterDataFolder(folder.string(), error)) << error;
    EXPECT_EQ(fs::current_path(), folder);
    for (const fs::path& made : {folder, folder.parent_path(), scratch.Path() / "home"}) {
        struct stat info {};
        ASSERT_EQ(::stat(made.c_str(), &info), 0) << made;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
    // A second start finds it there.
    fs::current_path(scratch.Path());
    EXPECT_TRUE(platform::EnterDataFolder(folder.string(), error)) << error;
    EXPECT_EQ(fs::current_path(), folder);
}

TEST(DataFolder, EnteringFailsWithAReasonAndStaysWhereItWas) {
    ScratchFolder scratch;
    CurrentDirectory back(scratch.Path());
    ASSERT_TRUE(WriteFileBytes(scratch.Path() / "file", "x"));
    struct Case {
        String folder;
        const char* mentions;
    };
    const Case cases[] = {
        {"", "no data folder"},
        {(scratch.Path() / "file").string(), "file"},
        {(scratch.Path() / "file/quillory").string(), "file"},
    };
    for (const Case& c : cases) {
        String error;
        EXPECT_FALSE(platform::EnterDataFolder(c.folder, error)) << c.folder;
        EXPECT_NE(error.find(c.mentions), String::npos) << error;
        EXPECT_EQ(fs::current_path(), scratch.Path());
    }
}

TEST(DataFolder, ACommandTakesItOnlyWhenItHoldsTheFileAndTheCurrentDirectoryDoesNot) {
    ScratchFolder scratch;
    const fs::path here = scratch.Path() / "here";
    const fs::path data = scratch.Path() / "data";
    fs::create_directories(here);
    fs::create_directories(data);
    CurrentDirectory back(here);
    struct Case {
        bool hereHasFile;
        bool dataHasFile;
        bool dataChosen;
    };
    const Case cases[] = {
        {false, false, false},
        {false, true, true},
        {true, false, false},
        {true, true, false},
    };
    for (const Case& c : cases) {
        fs::remove(here / "quillory.dat");
        fs::remove(data / "quillory.dat");
        if (c.hereHasFile) {
            ASSERT_TRUE(WriteFileBytes(here / "quillory.dat", "db"));
        }
        if (c.dataHasFile) {
            ASSERT_TRUE(WriteFileBytes(data / "quillory.dat", "db"));
        }
        EXPECT_EQ(platform::ChooseDataFolder(data.string(), "quillory.dat"),
                  c.dataChosen ? data.string() : String())
            << c.hereHasFile << c.dataHasFile;
    }
    // A folder of that name is not the file; nor is there a data folder without a home.
    fs::remove(data / "quillory.dat");
    fs::create_directory(data / "quillory.dat");
    EXPECT_EQ(platform::ChooseDataFolder(data.string(), "quillory.dat"), String());
    EXPECT_EQ(platform::ChooseDataFolder(String(), "quillory.dat"), String());
}
