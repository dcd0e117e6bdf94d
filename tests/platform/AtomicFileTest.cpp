#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"

#include "tests/support/ScopedUnprivileged.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

using namespace quillory::platform;
using quillory::test::TempGameFolder;

TEST(AtomicFile, SavesOverAnExistingFileAndLeavesNoTemporary) {
    TempGameFolder game;
    game.Write("settings.bin", "old content");
    const SaveResult result = SaveFileAtomically(game / "settings.bin", "new");
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.what.empty());
    EXPECT_EQ(game.Read("settings.bin"), "new");
    EXPECT_EQ(game.List(""), std::vector<std::string>{"settings.bin"});
}

TEST(AtomicFile, TakesTheTemporaryNameAndReportsItsSteps) {
    TempGameFolder game;
    CAtomicFile file(game / "data.dat", game / "data.da2");
    std::vector<std::string> seen;
    file.SetStepHook([&](CAtomicFile::Step step) {
        // What is on the disk at each step: the temporary complete, then the target replaced.
        seen.push_back(step == CAtomicFile::Step::TemporaryWritten
                           ? "written:" + game.Read("data.da2")
                           : "replaced:" + game.Read("data.dat"));
    });
    ASSERT_TRUE(file.Open().ok);
    EXPECT_TRUE(file.Write("abc", 3));
    EXPECT_TRUE(file.Commit().ok);
    EXPECT_EQ(seen, (std::vector<std::string>{"written:abc", "replaced:abc"}));
    EXPECT_FALSE(game.Exists("data.da2"));
}

// Each failure names its path, removes the temporary and leaves the target as it was.
TEST(AtomicFile, FailuresCarryTheirReasonAndLeaveTheTargetAlone) {
    TempGameFolder game;
    game.Write("kept/file.bin", "old");
    game.MakeFolder("kept/busy");
    game.Write("kept/busy/inside", "x");
    struct Case {
        const char* name;
        std::string target;
        std::string failedPath;
    };
    const Case cases[] = {
        {"missing folder", game / "nowhere/file.bin", game / "nowhere/file.bin.part"},
        // Renaming over a folder that holds something fails after the temporary was written.
        {"target is a folder", game / "kept/busy", game / "kept/busy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SaveResult result = SaveFileAtomically(c.target, "new");
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.what.empty());
        EXPECT_EQ(result.path, c.failedPath);
        EXPECT_FALSE(PathExists(c.target + ".part"));
    }
    EXPECT_EQ(game.Read("kept/busy/inside"), "x");
    EXPECT_EQ(game.List("kept"), (std::vector<std::string>{"busy", "file.bin"}));
}

TEST(AtomicFile, AReadOnlyFolderRefusesAndTheOldFileStays) {
    TempGameFolder game;
    game.Write("ReadOnly/file.bin", "old");
    ASSERT_EQ(::chmod((game / "ReadOnly").c_str(), 0555), 0);
    {
        quillory::test::ScopedUnprivileged unprivileged;
        if (!unprivileged.Active()) {
            ::chmod((game / "ReadOnly").c_str(), 0755);
            GTEST_SKIP() << "cannot give up the permission bypass";
        }
        const SaveResult result = SaveFileAtomically(game / "ReadOnly/file.bin", "new");
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.what.find("cannot create"), std::string::npos) << result.what;
        EXPECT_EQ(result.path, game / "ReadOnly/file.bin.part");
    }
    ::chmod((game / "ReadOnly").c_str(), 0755);
    EXPECT_EQ(game.Read("ReadOnly/file.bin"), "old");
    EXPECT_EQ(game.List("ReadOnly"), std::vector<std::string>{"file.bin"});
}

TEST(AtomicFile, AnUncommittedWriterRemovesItsTemporary) {
    TempGameFolder game;
    game.Write("file.bin", "old");
    {
        CAtomicFile file(game / "file.bin");
        ASSERT_TRUE(file.Open().ok);
        file.Write("new", 3);
        ASSERT_TRUE(file.Finish().ok);
        EXPECT_TRUE(game.Exists("file.bin.part"));
    }
    EXPECT_FALSE(game.Exists("file.bin.part"));
    EXPECT_EQ(game.Read("file.bin"), "old");
}

// A link planted under the temporary name is never written through, and a pipe there is not
// waited on: the save is refused with the reason, and the old file and the link's target stay.
TEST(AtomicFile, ATemporaryNameHoldingALinkOrAPipeIsNeverWrittenThrough) {
    TempGameFolder game;
    TempGameFolder elsewhere;
    elsewhere.Write("victim.txt", "precious");
    game.Write("quillory.sav", "old");
    struct Case {
        const char* what;
        const char* reason;
        bool link;
    };
    for (const Case c : {Case{"link", "it is a symbolic link", true},
                         Case{"pipe", "it is not a regular file", false}}) {
        SCOPED_TRACE(c.what);
        const std::string temporary = game / "quillory.sav.part";
        ASSERT_EQ(c.link ? ::symlink((elsewhere / "victim.txt").c_str(), temporary.c_str())
                         : ::mkfifo(temporary.c_str(), 0600),
                  0);
        const SaveResult refused = SaveFileAtomically(game / "quillory.sav", "new");
        EXPECT_FALSE(refused.ok);
        EXPECT_NE(refused.what.find(c.reason), std::string::npos) << refused.what;
        EXPECT_EQ(game.Read("quillory.sav"), "old");
        EXPECT_EQ(elsewhere.Read("victim.txt"), "precious");
    }
}
