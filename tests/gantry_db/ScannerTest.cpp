#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "platform/FileSystem.h"
#include "tests/gantry_db/ScannedTree.h"
#include "tests/support/ScopedUnprivileged.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

using namespace quillory;
using quillory::test::InstallationLayout;
using quillory::test::TempGameFolder;
using namespace quillory::test;

namespace {

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetGamePath(game.Path());
        db.SetContentReadHook([this](const String& path) { readPaths.push_back(path); });
    }

    bool Scan() {
        readPaths.clear();
        return db.Scan();
    }

    // A real package holding the nodes at `paths`, taken over from the pseudo-packages.
    Handle<CPackage> MakePackage(const char* name, std::initializer_list<const char*> paths) {
        auto package = std::make_shared<CPackage>();
        package->name = name;
        for (const char* path : paths) {
            Handle<CFileNode> node = NodeAt(db, path);
            EXPECT_TRUE(node) << path;
            if (!node)
                continue;
            package->AddMember(node);
            db.UnbindFromUnknown(*node);
        }
        db.AddPackage(package);
        return package;
    }

    TempGameFolder game;
    CFileDatabase db;
    std::vector<std::string> readPaths;
};

// Records what Walk hands over.
class CRecordingWalker final : public CDirectoryWalker {
public:
    int OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                void*) override {
        calls.push_back({code, entryPath, entry != nullptr});
        return code == WALK_FAILED ? failedAnswer : answer;
    }
    struct Call {
        int code;
        std::string path;
        bool hasEntry;
    };
    std::vector<Call> calls;
    int answer = WALK_CONTINUE;
    int failedAnswer = 7;
};

} // namespace

TEST(DirectoryWalker, ReportsEntryPathsAndStopCodes) {
    TempGameFolder game;
    game.Write("AddOns/a.pbo", "a");
    game.Write("AddOns/b.txt", "b");
    CRecordingWalker walker;
    const std::string folder = game.Path() + "AddOns\\";
    EXPECT_EQ(walker.Walk(folder, nullptr), 0);
    ASSERT_EQ(walker.calls.size(), 2u);
    for (const auto& call : walker.calls) {
        EXPECT_EQ(call.code, CDirectoryWalker::WALK_ENTRY);
        EXPECT_TRUE(call.path == folder + "a.pbo" || call.path == folder + "b.txt") << call.path;
    }

    walker.calls.clear();
    EXPECT_EQ(walker.Walk(folder + "*.PBO", nullptr), 0) << "a pattern lists what matches";
    ASSERT_EQ(walker.calls.size(), 1u);
    EXPECT_EQ(walker.calls[0].path, folder + "a.pbo");

    struct Case {
        int answer;
        int result;
    } cases[] = {{CDirectoryWalker::WALK_STOP, 2}, {CDirectoryWalker::WALK_STOP_QUIET, 0}};
    for (const Case& c : cases) {
        walker.calls.clear();
        walker.answer = c.answer;
        EXPECT_EQ(walker.Walk(folder, nullptr), c.result);
        EXPECT_EQ(walker.calls.size(), 1u) << "the walk stops at the first entry";
    }
}

TEST(DirectoryWalker, AFolderThatCannotBeListedReportsOnce) {
    TempGameFolder game;
    game.Write("Locked/a.pbo", "a");
    game.Lock("Locked");
    test::ScopedUnprivileged unprivileged;
    ASSERT_TRUE(unprivileged.Active());
    CRecordingWalker walker;
    EXPECT_EQ(walker.Walk(game.Path() + "Locked\\", nullptr), 7) << "the answer to the failure";
    ASSERT_EQ(walker.calls.size(), 1u);
    EXPECT_EQ(walker.calls[0].code, CDirectoryWalker::WALK_FAILED);
    EXPECT_FALSE(walker.calls[0].hasEntry);
}

TEST_F(ScannerTest, ClassifiesAnInstallation) {
    game.BuildInstallation();
    {
        test::ScopedUnprivileged unprivileged;
        ASSERT_TRUE(unprivileged.Active());
        ASSERT_TRUE(Scan());
    }
    struct Group {
        const CPackage& package;
        uint16_t flag;
        std::vector<const char*> paths;
    };
    const Group groups[] = {
        {*db.CoreFiles(),
         NF_CORE,
         {InstallationLayout::kCoreFiles[0], InstallationLayout::kCoreFiles[1],
          InstallationLayout::kCoreFiles[2], InstallationLayout::kCoreFolders[0],
          InstallationLayout::kCoreFolders[1], InstallationLayout::kCoreFolders[2]}},
        {*db.UnknownAddons(),
         NF_UNKNOWN_ADDON,
         {"ADDONS\\mymod_tank.pbo", "ADDONS\\old_gun.pbo", "Res\\AddOns\\trees.pbo"}},
        {*db.UnknownFiles(),
         NF_UNKNOWN_FILE,
         {InstallationLayout::kUnknownFiles[0], InstallationLayout::kUnknownFiles[1],
          InstallationLayout::kUnknownFiles[2], InstallationLayout::kUnknownFiles[3],
          InstallationLayout::kUnknownFolders[0], InstallationLayout::kUnknownFolders[1],
          InstallationLayout::kUnknownFolders[2], InstallationLayout::kUnknownFolders[3]}},
    };
    for (const Group& group : groups) {
        EXPECT_EQ(group.package.members.size(), group.paths.size()) << group.package.name;
        for (const char* path : group.paths) {
            Handle<CFileNode> node = NodeAt(db, path);
            ASSERT_TRUE(node) << path;
            EXPECT_GE(group.package.IndexOf(node.get()), 0) << path;
            EXPECT_EQ(node->flags & (NF_CORE | NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON), group.flag)
                << path;
            EXPECT_EQ(node->bindCount, 1u) << path;
            EXPECT_EQ(node->mark, db.Pass()) << path;
        }
    }

    for (const char* path : InstallationLayout::kLeftOut)
        EXPECT_FALSE(NodeAt(db, PathSegments(path)[0])) << path;
    for (const char* path : InstallationLayout::kHidden)
        EXPECT_FALSE(NodeAt(db, path)) << path;
    EXPECT_FALSE(NodeAt(db, "ADDONS\\.cache\\"));
    EXPECT_FALSE(NodeAt(db, InstallationLayout::kUnreadableFile));
    EXPECT_TRUE(NodeAt(db, "@Mod\\Users\\keep.txt")) << "only the top-level Users is left out";

    // Inactive forms keep their disk names under the active name.
    auto pbx = NodeAt(db, "ADDONS\\old_gun.pbo");
    EXPECT_EQ(pbx->diskName, "old_gun.pbx");
    EXPECT_EQ(pbx->status, NS_INACTIVE);
    auto aab = NodeAt(db, "Res\\AddOns\\trees.pbo");
    EXPECT_EQ(aab->diskName, "trees.pbo.0badf00d.aab");
    EXPECT_EQ(aab->status, NS_INACTIVE);
    auto active = NodeAt(db, "notes.txt");
    EXPECT_EQ(active->status, NS_ACTIVE);
    EXPECT_EQ(active->crc, CrcOf("unknown:notes.txt"));
    EXPECT_EQ(active->size, std::string("unknown:notes.txt").size());

    EXPECT_EQ(db.AddonsFolder(), NodeAt(db, "ADDONS\\"));
    EXPECT_EQ(db.ResAddonsFolder(), NodeAt(db, "Res\\AddOns\\"));
    ASSERT_EQ(db.ModFolders().size(), 2u) << "@Mod and Locked; core folders are no mod folders";
    ASSERT_EQ(db.ModAddonFolders().size(), 2u);
    int mod = db.IndexOfModFolder(NodeAt(db, "@Mod\\").get());
    ASSERT_GE(mod, 0);
    EXPECT_EQ(db.ModAddonFolders()[mod], NodeAt(db, "@Mod\\addons\\"));
    EXPECT_FALSE(db.ModAddonFolders()[1 - mod]);
    EXPECT_EQ(db.IndexOfModFolder(NodeAt(db, "ADDONS\\").get()), -1);
    EXPECT_TRUE(db.NewNodes().empty());
    EXPECT_FALSE(db.Progress().Cancelled());
}

TEST_F(ScannerTest, AnUnchangedFolderIsNotReadAgain) {
    game.BuildInstallation();
    ASSERT_TRUE(Scan());
    const size_t files = readPaths.size();
    EXPECT_GE(files, 10u) << "the first scan reads every file once";
    const size_t core = db.CoreFiles()->members.size();
    const size_t unknown = db.UnknownFiles()->members.size();

    ASSERT_TRUE(Scan());
    EXPECT_TRUE(readPaths.empty()) << readPaths.front();
    EXPECT_EQ(db.CoreFiles()->members.size(), core);
    EXPECT_EQ(db.UnknownFiles()->members.size(), unknown);

    // Another tool renames a file to its inactive form: found again from size and time alone.
    game.Move("ADDONS/mymod_tank.pbo", "ADDONS/mymod_tank.pbx");
    auto before = NodesAt(db, "ADDONS\\mymod_tank.pbo");
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(readPaths.empty());
    auto after = NodesAt(db, "ADDONS\\mymod_tank.pbo");
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[0]->status, NS_INACTIVE);
    EXPECT_EQ(after[0]->diskName, "mymod_tank.pbx");
}

TEST_F(ScannerTest, ATouchedFileKeepsItsNodeAfterTheCrcCheck) {
    game.Write("AddOns/x.pbo", "same content");
    game.SetTime("AddOns/x.pbo", 1000000000);
    ASSERT_TRUE(Scan());
    auto node = NodeAt(db, "AddOns\\x.pbo");
    ASSERT_TRUE(node);
    const FileTime first = node->modified;

    game.SetTime("AddOns/x.pbo", 1200000000);
    ASSERT_TRUE(Scan());
    EXPECT_EQ(readPaths.size(), 1u);
    auto versions = NodesAt(db, "AddOns\\x.pbo");
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0], node);
    EXPECT_NE(node->modified, first);
    EXPECT_EQ(node->modified, FileTimeFromUnix(1200000000));
    EXPECT_EQ(node->status, NS_ACTIVE);
    EXPECT_GE(db.UnknownAddons()->IndexOf(node.get()), 0);
}

TEST_F(ScannerTest, NewContentBecomesASecondNode) {
    struct Case {
        const char* what;
        const char* newContent;
    } cases[] = {{"same size", "version B"}, {"other size", "version B, longer"}};
    for (const Case& c : cases) {
        TempGameFolder folder;
        CFileDatabase fresh;
        fresh.SetGamePath(folder.Path());
        folder.Write("AddOns/x.pbo", "version A");
        folder.SetTime("AddOns/x.pbo", 1000000000);
        ASSERT_TRUE(fresh.Scan());
        folder.Write("AddOns/x.pbo", c.newContent);
        folder.SetTime("AddOns/x.pbo", 1100000000);
        ASSERT_TRUE(fresh.Scan());

        auto versions = NodesAt(fresh, "AddOns\\x.pbo");
        ASSERT_EQ(versions.size(), 2u) << c.what;
        EXPECT_EQ(versions[0]->crc, CrcOf("version A")) << c.what;
        EXPECT_EQ(versions[0]->status, NS_MISSING) << c.what;
        EXPECT_EQ(versions[0]->bindCount, 0u) << c.what;
        EXPECT_EQ(fresh.UnknownAddons()->IndexOf(versions[0].get()), -1) << c.what;
        EXPECT_TRUE(versions[0]->flags & NF_UNKNOWN_ADDON) << "the flag stays: " << c.what;
        EXPECT_EQ(versions[1]->crc, CrcOf(c.newContent)) << c.what;
        EXPECT_EQ(versions[1]->status, NS_ACTIVE) << c.what;
        EXPECT_GE(fresh.UnknownAddons()->IndexOf(versions[1].get()), 0) << c.what;
    }
}

TEST_F(ScannerTest, AMovedPackageFileIsFollowed) {
    game.Write("AddOns/tank.pbo", "tank");
    game.Write("AddOns/gun.pbo", "gun");
    game.MakeFolder("@Mod/addons");
    ASSERT_TRUE(Scan());
    auto package = MakePackage("Tanks", {"AddOns\\tank.pbo", "AddOns\\gun.pbo"});
    auto oldTank = NodeAt(db, "AddOns\\tank.pbo");
    EXPECT_EQ(db.UnknownAddons()->IndexOf(oldTank.get()), -1);

    game.Move("AddOns/tank.pbo", "@Mod/addons/tank.pbo");
    game.Remove("AddOns/gun.pbo");
    ASSERT_TRUE(Scan());

    auto newTank = NodeAt(db, "@Mod\\addons\\tank.pbo");
    ASSERT_TRUE(newTank);
    ASSERT_EQ(package->members.size(), 2u);
    EXPECT_EQ(package->members[0], newTank);
    EXPECT_EQ(newTank->bindCount, 1u);
    EXPECT_EQ(db.UnknownFiles()->IndexOf(newTank.get()), -1) << "it left <Unknown files>";
    EXPECT_FALSE(newTank->flags & NF_UNKNOWN_FILE);
    EXPECT_EQ(oldTank->bindCount, 0u);
    EXPECT_EQ(oldTank->status, NS_MISSING);
    // A file that went nowhere stays a missing member.
    EXPECT_EQ(package->members[1]->name, "gun.pbo");
    EXPECT_EQ(package->members[1]->status, NS_MISSING);
    EXPECT_EQ(package->members[1]->bindCount, 1u);
}

TEST_F(ScannerTest, ASkippedScanStillFinishes) {
    game.BuildInstallation();
    game.Remove(InstallationLayout::kUnreadable);
    ASSERT_TRUE(Scan());
    auto package = MakePackage("Mod", {"@Mod\\mod.cpp"});
    ASSERT_FALSE(db.UnknownFiles()->members.empty());

    db.Progress().RequestCancel();
    EXPECT_TRUE(Scan());
    EXPECT_TRUE(db.Progress().Cancelled());
    EXPECT_FALSE(db.Progress().CancelRequested());
    // Nothing was walked, so everything counts as unseen.
    EXPECT_TRUE(db.CoreFiles()->members.empty());
    EXPECT_TRUE(db.UnknownFiles()->members.empty());
    EXPECT_TRUE(db.UnknownAddons()->members.empty());
    EXPECT_EQ(package->members[0]->status, NS_MISSING);
    EXPECT_EQ(package->members[0]->bindCount, 1u);
    EXPECT_TRUE(db.AddonsFolder()) << "the add-on folders are still located";
    EXPECT_EQ(db.ModFolders().size(), 1u);
    EXPECT_TRUE(db.NewNodes().empty());

    // The next full scan brings everything back.
    EXPECT_TRUE(Scan());
    EXPECT_FALSE(db.Progress().Cancelled());
    EXPECT_EQ(package->members[0]->status, NS_ACTIVE);
    EXPECT_GE(db.UnknownFiles()->IndexOf(NodeAt(db, "notes.txt").get()), 0);
    EXPECT_GE(db.CoreFiles()->IndexOf(NodeAt(db, "Ironvale.exe").get()), 0)
        << "a node dropped by the skipped scan returns to its pseudo-package";
}

TEST_F(ScannerTest, ScanTextShowsTheTailOfLongPaths) {
    const size_t base = game.Path().size();
    ASSERT_LT(base, 45u);
    for (size_t length : {size_t(50), size_t(51)}) {
        TempGameFolder folder;
        CFileDatabase fresh;
        fresh.SetGamePath(folder.Path());
        const std::string name(length - folder.Path().size(), 'n');
        folder.Write(name, "x");
        ASSERT_TRUE(fresh.Scan());
        const std::string path = folder.Path() + name;
        ASSERT_EQ(path.size(), length);
        if (length <= 50)
            EXPECT_EQ(fresh.Progress().Text(), path);
        else
            EXPECT_EQ(fresh.Progress().Text(), "..." + path.substr(1));
    }
}

TEST_F(ScannerTest, AnIdenticalInactiveCopyIsDeleted) {
    const std::string content = "duplicate";
    const std::string inactive = InactiveNameFor("x.pbo", content);
    game.Write("AddOns/x.pbo", content);
    game.Write("AddOns/" + inactive, content);
    game.SetTime("AddOns/x.pbo", 1000000000);
    game.SetTime("AddOns/" + inactive, 1000000000);
    ASSERT_TRUE(Scan());
    EXPECT_EQ(NodesAt(db, "AddOns\\x.pbo").size(), 1u);
    EXPECT_EQ(game.List("AddOns").size(), 1u) << "the copy met second is deleted";
}

TEST_F(ScannerTest, ADifferentFileOfEqualSizeAndTimeIsNeverDeleted) {
    // Same name, size and time, other content, and named as the first one's inactive form.
    game.Write("AddOns/x.pbo", "content A");
    const std::string inactive = InactiveNameFor("x.pbo", "content A");
    game.Write("AddOns/" + inactive, "content B");
    game.SetTime("AddOns/x.pbo", 1000000000);
    game.SetTime("AddOns/" + inactive, 1000000000);
    ASSERT_TRUE(Scan());
    EXPECT_EQ(game.Read("AddOns/x.pbo"), "content A");
    EXPECT_EQ(game.Read("AddOns/" + inactive), "content B");
}

// Versions of one file with the same size and time, as an install leaves them, stay on disk
// whatever order the folder's nodes are in compared with the folder's listing: each version keeps
// the node of its own name, and none is taken for a copy of another.
TEST_F(ScannerTest, VersionsOfOneSizeAndTimeSurviveARescanInAnyNodeOrder) {
    constexpr int kVersions = 30;
    std::vector<std::string> names = {"f.pbo"};
    std::vector<std::string> contents = {"version 00"};
    game.Write("AddOns/f.pbo", contents[0]);
    for (int i = 1; i < kVersions; ++i) {
        char content[16];
        std::snprintf(content, sizeof content, "version %02d", i);
        contents.push_back(content);
        names.push_back(InactiveNameFor("f.pbo", content));
        game.Write("AddOns/" + names.back(), content);
    }
    for (const std::string& name : names)
        game.SetTime("AddOns/" + name, 1700000000);
    using Reorder = void (*)(HandleArray<CFileNode>&);
    const Reorder orders[] = {
        [](HandleArray<CFileNode>& c) { std::reverse(c.begin(), c.end()); },
        [](HandleArray<CFileNode>& c) { std::rotate(c.begin(), c.begin() + 1, c.end()); },
        [](HandleArray<CFileNode>& c) {
            std::stable_partition(c.begin(), c.end(),
                                  [](const Handle<CFileNode>& n) { return n->crc % 2 == 0; });
        },
    };
    ASSERT_TRUE(Scan());
    for (const Reorder reorder : orders) {
        const Handle<CFileNode> folder = NodeAt(db, "AddOns\\");
        ASSERT_TRUE(folder);
        reorder(folder->children);
        ASSERT_TRUE(Scan());
        EXPECT_EQ(game.List("AddOns").size(), size_t(kVersions)) << "no version is deleted";
        const auto versions = NodesAt(db, "AddOns\\f.pbo");
        EXPECT_EQ(versions.size(), size_t(kVersions));
        for (const Handle<CFileNode>& node : versions) {
            EXPECT_NE(node->status, NS_MISSING) << node->diskName;
            EXPECT_EQ(CrcOf(game.Read("AddOns/" + node->diskName)), node->crc) << node->diskName;
        }
    }
}

// A file that a package lists as its own is not a copy to delete, even when another node has
// the same name and content and was met first.
TEST_F(ScannerTest, AFileThatAPackageListsIsNeverDeletedAsACopy) {
    const std::string content = "shared bytes";
    const std::string inactive = InactiveNameFor("x.pbo", content);
    game.Write("AddOns/x.pbo", content);
    ASSERT_TRUE(Scan());
    game.Write("AddOns/" + inactive, content);
    const Handle<CFileNode> folder = NodeAt(db, "AddOns\\");
    const Handle<CFileNode> active = NodeAt(db, "AddOns\\x.pbo");
    ASSERT_TRUE(folder && active);
    // A second package installed the same file under its inactive name.
    const Handle<CFileNode> listed = folder->AddChild("x.pbo", 0);
    listed->diskName = inactive;
    listed->status = NS_INACTIVE;
    listed->size = active->size;
    listed->crc = active->crc;
    listed->modified = 1; // another time: only the content tells
    auto package = std::make_shared<CPackage>();
    package->name = "second";
    package->AddMember(listed);
    db.AddPackage(package);
    // Either node first: the listing order decides which entry is met first.
    for (int round = 0; round < 2; ++round) {
        std::reverse(folder->children.begin(), folder->children.end());
        ASSERT_TRUE(Scan());
        EXPECT_EQ(game.Read("AddOns/x.pbo"), content);
        EXPECT_EQ(game.Read("AddOns/" + inactive), content);
        EXPECT_EQ(listed->status, NS_INACTIVE);
        EXPECT_EQ(listed->diskName, inactive);
        EXPECT_EQ(active->status, NS_ACTIVE);
    }
}

TEST_F(ScannerTest, AMissingGameFolderChangesNothing) {
    game.Write("AddOns/x.pbo", "x");
    ASSERT_TRUE(Scan());
    const uint32_t pass = db.Pass();
    db.SetGamePath(game.Path() + "gone/");
    EXPECT_FALSE(db.Scan());
    db.SetGamePath("");
    EXPECT_FALSE(db.Scan());
    EXPECT_EQ(db.Pass(), pass);
    EXPECT_EQ(NodeAt(db, "AddOns\\x.pbo")->status, NS_ACTIVE);
    EXPECT_EQ(db.UnknownAddons()->members.size(), 1u);
}

TEST_F(ScannerTest, AGameFolderWithoutItsSeparatorGetsOne) {
    game.Write("AddOns/x.pbo", "x");
    db.SetGamePath(game.Path().substr(0, game.Path().size() - 1));
    ASSERT_TRUE(Scan());
    auto node = NodeAt(db, "AddOns\\x.pbo");
    ASSERT_TRUE(node);
    EXPECT_EQ(platform::NativePath(node->AbsolutePath()), game / "AddOns/x.pbo");
}

TEST_F(ScannerTest, NamesTheTreeCannotHoldAreHandledSafely) {
    game.Write("readme.aab", "no active name");
    // Written directly: the fixture would take the backslash for a separator.
    std::FILE* odd = std::fopen((game.Path() + "back\\slash.pbo").c_str(), "wb");
    ASSERT_TRUE(odd);
    std::fclose(odd);
    ASSERT_TRUE(Scan());
    auto readme = NodeAt(db, "readme.aab");
    ASSERT_TRUE(readme);
    EXPECT_EQ(readme->status, NS_ACTIVE);
    EXPECT_EQ(readme->diskName, "readme.aab");
    EXPECT_EQ(db.Root()->children.size(), 1u);
}

TEST(FileCrc32, LargeBlocksGiveTheSameResultAsTheSmallFold) {
    TempGameFolder game;
    uint32_t crc = 0;
    game.Write("check", "123456789");
    ASSERT_TRUE(CFileDatabase::FileCrc32(game / "check", crc));
    EXPECT_EQ(crc, 0xCBF43926u);

    for (size_t size : {size_t(0), size_t(1023), size_t(1024), size_t(1025), size_t(3 << 20) + 7}) {
        std::string content(size, 0);
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>((i * 7919) >> 3);
        game.Write("file", content);
        uLong fold = ::crc32(0L, Z_NULL, 0);
        for (size_t at = 0; at < size; at += 1024) {
            size_t n = std::min<size_t>(1024, size - at);
            fold = ::crc32(fold, reinterpret_cast<const Bytef*>(content.data() + at),
                           static_cast<uInt>(n));
        }
        ASSERT_TRUE(CFileDatabase::FileCrc32(game.Path() + "FILE", crc)) << size;
        EXPECT_EQ(crc, static_cast<uint32_t>(fold)) << size;
    }
    EXPECT_FALSE(CFileDatabase::FileCrc32(game / "absent", crc));
    EXPECT_FALSE(CFileDatabase::FileCrc32(game.Path(), crc)) << "a folder has no content";
}

// Every size around the scanner's read block, where one read may or may not reach the end.
TEST_F(ScannerTest, TheFirstScanFoldsEveryByteWhateverTheSize) {
    const size_t block = 512 * 1024;
    const size_t sizes[] = {0, 1, 1023, block - 1, block, block + 1, 2 * block, 2 * block + 3};
    std::vector<std::string> contents;
    for (size_t size : sizes) {
        std::string content(size, 0);
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>((i * 7919) >> 3);
        game.Write("AddOns/f" + std::to_string(size) + ".pbo", content);
        contents.push_back(content);
    }
    ASSERT_TRUE(Scan());
    for (size_t i = 0; i < contents.size(); ++i) {
        auto node = NodeAt(db, "AddOns\\f" + std::to_string(sizes[i]) + ".pbo");
        ASSERT_TRUE(node) << sizes[i];
        EXPECT_EQ(node->size, sizes[i]);
        EXPECT_EQ(node->crc, CrcOf(contents[i])) << sizes[i];
    }
}

// The first scan takes a new file's size and time from the file it opened: what it records
// belongs together even when another tool puts a different file in its place just then.
TEST_F(ScannerTest, AFileReplacedJustBeforeItIsReadIsRecordedAsWhatWasRead) {
    game.Write("AddOns/x.pbo", "old");
    game.SetTime("AddOns/x.pbo", 1000000000);
    TempGameFolder elsewhere;
    const std::string replacement = "a longer, different content";
    elsewhere.Write("new.pbo", replacement);
    elsewhere.SetTime("new.pbo", 1300000000);
    bool replaced = false;
    db.SetContentReadHook([&](const String& path) {
        if (replaced || !EndsWithNoCase(path, "x.pbo"))
            return;
        replaced = true;
        ASSERT_EQ(std::rename((elsewhere / "new.pbo").c_str(), (game / "AddOns/x.pbo").c_str()), 0);
    });
    ASSERT_TRUE(Scan());
    ASSERT_TRUE(replaced);
    auto node = NodeAt(db, "AddOns\\x.pbo");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->size, replacement.size());
    EXPECT_EQ(node->crc, CrcOf(replacement));
    EXPECT_EQ(node->modified, FileTimeFromUnix(1300000000));

    db.SetContentReadHook([this](const String& path) { readPaths.push_back(path); });
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(readPaths.empty()) << "the node matches the file on disk";
    EXPECT_EQ(NodesAt(db, "AddOns\\x.pbo").size(), 1u);
}

// A pipe put in place of a file must neither stop the scan nor enter the tree.
TEST_F(ScannerTest, AFileTurnedIntoAPipeBeforeItIsReadIsPassedOver) {
    game.Write("AddOns/x.pbo", "x");
    game.Write("AddOns/y.pbo", "y");
    db.SetContentReadHook([&](const String& path) {
        if (!EndsWithNoCase(path, "x.pbo"))
            return;
        game.Remove("AddOns/x.pbo");
        ASSERT_EQ(::mkfifo((game / "AddOns/x.pbo").c_str(), 0600), 0);
    });
    ASSERT_TRUE(Scan());
    EXPECT_FALSE(NodeAt(db, "AddOns\\x.pbo"));
    EXPECT_TRUE(NodeAt(db, "AddOns\\y.pbo"));
}

namespace {

// Every node below the root with what the scan recorded, in tree order.
std::vector<std::string> TreeLines(const CFileDatabase& db) {
    std::vector<CFileNode*> nodes;
    db.Root()->CollectPointers(nodes);
    std::vector<std::string> lines;
    for (const CFileNode* node : nodes)
        lines.push_back(
            node->RelativePath() + " disk=" + node->diskName +
            " status=" + std::to_string(node->status) + " flags=" + std::to_string(node->flags) +
            " size=" + std::to_string(node->size) + " crc=" + std::to_string(node->crc) +
            " time=" + std::to_string(node->modified));
    return lines;
}

} // namespace

// Some file systems give no entry kinds in their listings, so every entry is looked up by name;
// a full listing looks every entry up too. Both must give the tree that the listing's own kinds
// give, links and pipes included.
TEST_F(ScannerTest, EveryWayOfListingGivesTheSameTree) {
    game.BuildInstallation();
    game.Write("@Mod/addons/deep/inner.pbo", "inner");
    ASSERT_EQ(::symlink((game / "@Mod").c_str(), (game / "linked_folder").c_str()), 0);
    ASSERT_EQ(::symlink((game / "notes.txt").c_str(), (game / "linked_notes.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((game / "pipe").c_str(), 0600), 0);
    ASSERT_TRUE(Scan());
    const std::vector<std::string> expected = TreeLines(db);
    ASSERT_GE(expected.size(), 15u);

    for (platform::WalkDetail detail :
         {platform::WalkDetail::DeferredUntyped, platform::WalkDetail::Full}) {
        CFileDatabase other;
        other.SetGamePath(game.Path());
        other.SetScanDetail(detail);
        ASSERT_TRUE(other.Scan());
        EXPECT_EQ(TreeLines(other), expected) << static_cast<int>(detail);
    }
}
