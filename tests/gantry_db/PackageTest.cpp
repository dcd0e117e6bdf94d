#include "TreeBuilder.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace quillory {
namespace {

using test::AddFile;
using test::AddFolder;

TEST(PackageStatus, FromTheStatesOfItsFiles) {
    enum { A = NS_ACTIVE, I = NS_INACTIVE, M = NS_MISSING, F = 9 /* a folder */ };
    struct Case {
        std::vector<int> members;
        uint32_t status;
        const char* text;
    } cases[] = {
        {{}, PS_ACTIVE, ""},
        {{F, F}, PS_ACTIVE, ""},
        {{A, A, F}, PS_ACTIVE, ""},
        {{I, I}, PS_INACTIVE, "Inactive"},
        {{A, I}, PS_PARTIAL, "Partial"},
        {{A, I, M}, PS_PARTIAL_MISSING, "Partial & missing files"},
        {{I, M}, PS_INACTIVE_MISSING, "Inactive & missing files"},
        {{A, M}, PS_MISSING, "Missing files"},
        {{M, M, F}, PS_NO_FILES, "No files"},
    };
    for (const auto& c : cases) {
        auto root = test::MakeRoot("R\\");
        CPackage package;
        for (int state : c.members) {
            if (state == F)
                package.AddMember(AddFolder(*root, "f\\"));
            else
                package.AddMember(AddFile(*root, "x", 1, 1, static_cast<uint16_t>(state)));
        }
        package.ComputeStatus();
        EXPECT_EQ(package.status, c.status) << c.text;
        EXPECT_EQ(package.StatusText(), c.text);
    }
}

TEST(PackageStatus, CountsFilesFoldersSharedMembersAndA64BitTotal) {
    auto root = test::MakeRoot("R\\");
    CPackage package, other;
    package.AddMember(AddFolder(*root, "f\\"));
    package.AddMember(AddFile(*root, "big1", 0xFFFFFFFFu, 1));
    package.AddMember(AddFile(*root, "big2", 0xFFFFFFFFu, 2));
    other.AddMember(package.members[2]);
    package.ComputeStatus();
    EXPECT_EQ(package.fileCount, 2u);
    EXPECT_EQ(package.folderCount, 1u);
    EXPECT_EQ(package.sharedCount, 1u);
    EXPECT_EQ(package.totalSize, 2ull * 0xFFFFFFFFu);
    EXPECT_EQ(package.SizeText(), "8,388,608 KB");
}

TEST(PackageMembers, IndexOfAndRemoveAtKeepBindCountsInStep) {
    auto root = test::MakeRoot("R\\");
    CPackage package;
    auto a = AddFile(*root, "a", 1, 1);
    auto b = AddFile(*root, "b", 1, 2);
    package.AddMember(a);
    package.AddMember(b);
    EXPECT_EQ(package.IndexOf(b.get()), 1);
    EXPECT_EQ(package.IndexOf(root.get()), -1);
    for (int bad : {-1, 2, 100})
        package.RemoveAt(bad);
    EXPECT_EQ(package.members.size(), 2u);
    EXPECT_EQ(a->bindCount, 1u);
    package.RemoveAt(0);
    ASSERT_EQ(package.members.size(), 1u);
    EXPECT_EQ(package.members[0], b);
    EXPECT_EQ(a->bindCount, 0u);
}

TEST(PackageTexts, OfferedStatusTexts) {
    struct Case {
        uint32_t status;
        const char* text;
    } cases[] = {
        {OS_INSTALLED, "Files installed"},    {OS_PATH_DIFFERS, "Installed path differ"},
        {OS_MISSING, "Missing files"},        {OS_NOT_INSTALLED, "No file installed"},
        {PS_ACTIVE, "error, invalid status"}, {14, "error, invalid status"},
    };
    CPackage package;
    for (const auto& c : cases) {
        package.status = c.status;
        EXPECT_EQ(package.OfferedStatusText(), c.text);
    }
}

TEST(PackageTexts, InstallDateIsLocalDateSpaceLocalTime) {
    const char* saved = std::getenv("TZ");
    std::string savedTz = saved ? saved : "";
    setenv("TZ", "UTC", 1);
    tzset();
    CPackage package;
    package.installed = FileTimeFromCivil(2024, 1, 2, 3, 4, 5);
    std::string text = package.InstallDateText(); // the "C" locale's %x and %X
    if (saved)
        setenv("TZ", savedTz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(text, "01/02/24 03:04:05");
}

TEST(PackageTexts, NewPackageIsStampedWithTheCurrentTime) {
    FileTime before = FileTimeFromUnix(std::time(nullptr) - 5);
    CPackage package;
    FileTime after = FileTimeFromUnix(std::time(nullptr) + 5);
    EXPECT_GE(package.installed, before);
    EXPECT_LE(package.installed, after);
}

class ClassifyTest : public ::testing::Test {
protected:
    CFileDatabase db;
    Handle<CFileNode> root = test::MakeRoot("C:\\Game\\");
};

TEST_F(ClassifyTest, BindsNewNodesToTheirPseudoPackage) {
    struct Case {
        const char* relPath;
        uint16_t flag;
    } cases[] = {
        {"IRONVALE.EXE", NF_CORE},
        {"addons\\vehicles.pbo", NF_CORE},
        {"Res\\", NF_CORE},
        {"addons\\x.pbo", NF_UNKNOWN_ADDON},
        {"RES\\ADDONS\\y.pbo", NF_UNKNOWN_ADDON},
        {"res\\x.pbo", NF_UNKNOWN_FILE},
        {"AddOnsX\\a.pbo", NF_UNKNOWN_FILE},
        {"mymod\\addons\\z.pbo", NF_UNKNOWN_FILE},
    };
    for (const auto& c : cases) {
        auto node = AddFile(*root, "n", 1, 1);
        db.Classify(c.relPath, node);
        EXPECT_EQ(node->flags, c.flag) << c.relPath;
        EXPECT_EQ(node->bindCount, 1u) << c.relPath;
        const auto& holder = c.flag == NF_CORE           ? db.CoreFiles()
                             : c.flag == NF_UNKNOWN_FILE ? db.UnknownFiles()
                                                         : db.UnknownAddons();
        EXPECT_NE(holder->IndexOf(node.get()), -1) << c.relPath;
    }
}

TEST_F(ClassifyTest, ANodeAlreadyBoundToAPseudoPackageIsLeftAlone) {
    for (uint16_t flag : {NF_CORE, NF_UNKNOWN_FILE, NF_UNKNOWN_ADDON}) {
        auto node = AddFile(*root, "n", 1, 1);
        node->flags = flag;
        node->bindCount = 1;
        db.Classify("addons\\n", node);
        EXPECT_EQ(node->flags, flag);
        EXPECT_EQ(node->bindCount, 1u);
    }
    EXPECT_TRUE(db.UnknownAddons()->members.empty());
}

TEST_F(ClassifyTest, UnbindFromUnknownLeavesTheRealPackageAndCoreFiles) {
    auto file = AddFile(*root, "notes.txt", 1, 1);
    auto addon = AddFile(*root, "a.pbo", 1, 2);
    auto core = AddFile(*root, "IRONVALE.EXE", 1, 3);
    db.Classify("notes.txt", file);
    db.Classify("addons\\a.pbo", addon);
    db.Classify("IRONVALE.EXE", core);
    auto real = test::AddPackage(db, "Real");
    for (const auto& node : {file, addon, core})
        real->AddMember(node);
    real->ComputeStatus();
    db.UnknownFiles()->ComputeStatus();
    EXPECT_EQ(real->sharedCount, 3u);
    EXPECT_EQ(db.UnknownFiles()->sharedCount, 1u);

    for (const auto& node : {file, addon, core})
        db.UnbindFromUnknown(*node);
    EXPECT_EQ(file->bindCount, 1u);
    EXPECT_EQ(file->flags, 0);
    EXPECT_EQ(addon->bindCount, 1u);
    EXPECT_EQ(addon->flags, 0);
    EXPECT_EQ(core->bindCount, 2u);
    EXPECT_EQ(core->flags, NF_CORE);
    EXPECT_TRUE(db.UnknownFiles()->members.empty());
    EXPECT_TRUE(db.UnknownAddons()->members.empty());
}

TEST(FileDatabaseConstruction, StartsWithThreeEmptyPseudoPackages) {
    CFileDatabase db;
    ASSERT_EQ(db.Packages().size(), 3u);
    EXPECT_EQ(db.Packages()[0], db.CoreFiles());
    EXPECT_EQ(db.Packages()[1], db.UnknownFiles());
    EXPECT_EQ(db.Packages()[2], db.UnknownAddons());
    EXPECT_EQ(db.CoreFiles()->name, "<Core files>");
    EXPECT_EQ(db.UnknownFiles()->name, "<Unknown files>");
    EXPECT_EQ(db.UnknownAddons()->name, "<Unknown addons>");
    EXPECT_EQ(db.Root(), nullptr);
}

} // namespace
} // namespace quillory
