// Where the running copy's socket lives: the user's own runtime folder, and a name that tells
// users and data folders apart.
#include "platform/InstanceSocket.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::platform;
using quillory::test::ScratchFolder;
namespace fs = std::filesystem;

namespace {

const std::string kOwn = "quillory-" + std::to_string(::geteuid());

mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

} // namespace

TEST(InstanceSocket, TakesTheRuntimeFolderWhenItIsTheUsers) {
    ScratchFolder scratch;
    const fs::path runtime = scratch.Path() / "run";
    fs::create_directory(runtime);
    String error;
    EXPECT_EQ(UserRuntimeFolder(runtime.c_str(), scratch.Path().c_str(), error), runtime.string());
    EXPECT_EQ(UserRuntimeFolder((runtime.string() + "/").c_str(), nullptr, error),
              runtime.string());
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(fs::exists(scratch.Path() / kOwn));
}

TEST(InstanceSocket, FallsBackToAClosedFolderOfItsOwnInTheTemporaryFolder) {
    ScratchFolder scratch;
    fs::create_directory(scratch.Path() / "notmine");
    ASSERT_EQ(::chown((scratch.Path() / "notmine").c_str(), ::geteuid() + 1, -1), 0);
    fs::create_directory_symlink(scratch.Path(), scratch.Path() / "link");
    // Unset, relative, missing, someone else's, or a link: none of them is the runtime folder.
    const std::string notRuntime[] = {"", "run", (scratch.Path() / "missing").string(),
                                      (scratch.Path() / "notmine").string(),
                                      (scratch.Path() / "link").string()};
    for (const std::string& xdg : notRuntime) {
        SCOPED_TRACE(xdg);
        String error;
        const String folder =
            UserRuntimeFolder(xdg.empty() ? nullptr : xdg.c_str(), scratch.Path().c_str(), error);
        EXPECT_EQ(folder, (scratch.Path() / kOwn).string()) << error;
        EXPECT_EQ(ModeOf(folder), mode_t(0700));
    }
}

TEST(InstanceSocket, AnOpenedFolderOfItsOwnIsClosedAgain) {
    ScratchFolder scratch;
    const fs::path own = scratch.Path() / kOwn;
    fs::create_directory(own);
    ASSERT_EQ(::chmod(own.c_str(), 0777), 0);
    String error;
    EXPECT_EQ(UserRuntimeFolder(nullptr, scratch.Path().c_str(), error), own.string());
    EXPECT_EQ(ModeOf(own), mode_t(0700));
}

TEST(InstanceSocket, RefusesAFolderInTheTemporaryFolderThatIsNotTheUsers) {
    ScratchFolder scratch;
    const fs::path own = scratch.Path() / kOwn;
    const fs::path elsewhere = scratch.Path() / "elsewhere";
    fs::create_directory(elsewhere);
    ASSERT_EQ(::chmod(elsewhere.c_str(), 0755), 0);
    struct Case {
        const char* name;
        void (*make)(const fs::path& own, const fs::path& elsewhere);
        const char* error;
    };
    const Case cases[] = {
        {"link to a folder",
         [](const fs::path& at, const fs::path& to) { fs::create_directory_symlink(to, at); },
         " is not a folder"},
        {"a file", [](const fs::path& at, const fs::path&) { test::WriteFileBytes(at, "x"); },
         " is not a folder"},
        {"another user's",
         [](const fs::path& at, const fs::path&) {
             fs::create_directory(at);
             ASSERT_EQ(::chown(at.c_str(), ::geteuid() + 1, -1), 0);
         },
         " belongs to another user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(own);
        c.make(own, elsewhere);
        String error;
        EXPECT_EQ(UserRuntimeFolder(nullptr, scratch.Path().c_str(), error), String());
        EXPECT_EQ(error, own.string() + c.error);
    }
    // The folder linked to was left as it was.
    EXPECT_EQ(ModeOf(elsewhere), mode_t(0755));
}

TEST(InstanceSocket, TheNameTellsUsersAndDataFoldersApart) {
    const String user = std::to_string(::geteuid());
    const String path = InstanceSocketPath("/run/user/7", "QUILLORY963", "/home/p/games");
    EXPECT_EQ(path, "/run/user/7/QUILLORY963-" + user + "-" + DataFolderTag("/home/p/games"));
    // The published FNV-1a 64-bit values of "", "a" and "foobar", their halves folded.
    EXPECT_EQ(DataFolderTag(""), "4fd0bfc1");       // cbf29ce484222325
    EXPECT_EQ(DataFolderTag("a"), "296230c0");      // af63dc4c8601ec8c
    EXPECT_EQ(DataFolderTag("foobar"), "72ad2699"); // 85944171f73967e8
    EXPECT_NE(DataFolderTag("/home/p/games"), DataFolderTag("/home/p/games2"));
    EXPECT_NE(DataFolderTag("/home/p/a"), DataFolderTag("/home/p/b"));
    // A trailing separator names the same folder.
    EXPECT_EQ(InstanceSocketPath("/r", "Q", "/home/p/games/"),
              InstanceSocketPath("/r", "Q", "/home/p/games"));
}
