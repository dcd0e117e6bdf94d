#include "gantry/client/Installer.h"
#include "common/AsciiCase.h"
#include "common/FileTime.h"
#include "platform/FileSystem.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace quillory {
namespace {

using test::Crc32Of;
using test::ScratchFolder;
using test::TempGameFolder;
using test::ZipBuilder;
using test::ZipDate;

// Every node at a relative path ("a\b\c.pbo"), versions of one file included.
HandleArray<CFileNode> NodesAt(const CFileDatabase& db, const String& relPath) {
    HandleArray<CFileNode> found;
    std::vector<String> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= relPath.size(); ++i)
        if (i == relPath.size() || relPath[i] == '\\') {
            pieces.push_back(relPath.substr(start, i - start));
            start = i + 1;
        }
    const CFileNode* folder = db.Root().get();
    for (size_t i = 0; i < pieces.size() && folder; ++i) {
        bool last = i + 1 == pieces.size();
        const CFileNode* next = nullptr;
        for (const auto& child : folder->children) {
            if (last && !child->IsFolder() && EqualsNoCase(child->name, pieces[i]))
                found.push_back(child);
            if (!last && child->IsFolder() && EqualsNoCase(child->name, pieces[i] + "\\")) {
                next = child.get();
                break;
            }
        }
        folder = next;
    }
    return found;
}

Handle<CFileNode> NodeAt(const CFileDatabase& db, const String& relPath) {
    HandleArray<CFileNode> nodes = NodesAt(db, relPath);
    return nodes.empty() ? nullptr : nodes.front();
}

Handle<CFileNode> FolderAt(const CFileDatabase& db, const String& name) {
    for (const auto& child : db.Root()->children)
        if (EqualsNoCase(child->name, name))
            return child;
    return nullptr;
}

bool Holds(const CPackage& package, const Handle<CFileNode>& node) {
    return node && package.IndexOf(node.get()) != -1;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetGamePath(game.Path());
        ASSERT_TRUE(db.Scan());
    }

    String Archive(const ZipBuilder& zip, const std::string& name = "pack.tmp") {
        String path = data / name;
        EXPECT_TRUE(zip.Write(path));
        return path;
    }

    static ZipBuilder Described(const std::string& description) {
        ZipBuilder zip;
        zip.Add("gantry.txt", "GANTRY_START\n" + description + "\nGANTRY_END\n");
        return zip;
    }

    bool Install(const String& archive, const CPackage* offered = nullptr) {
        return InstallPackage(db, archive, done, total, offered, &report);
    }

    size_t PackageCount() const { return db.Packages().size(); }

    TempGameFolder game;
    ScratchFolder data;
    CFileDatabase db{data.Path().string()};
    std::atomic<uint64_t> done{12345};
    std::atomic<uint64_t> total{0};
    InstallReport report;
};

TEST_F(InstallerTest, WithoutDescriptionEverythingIsFlattenedIntoAddons) {
    ZipBuilder zip;
    zip.AddFolder("data")
        .Add("island.pbo", "island")
        .Add("data/deep/trees.PBO", "trees")
        .Add("docs/readme.txt", "read me");
    ASSERT_TRUE(Install(Archive(zip, "islands.tmp"))) << report.error;

    const Handle<CPackage>& package = db.Packages().back();
    EXPECT_EQ(package->name, "islands");
    EXPECT_EQ(game.Read("addons/island.pbo"), "island");
    EXPECT_EQ(game.Read("addons/trees.PBO"), "trees");
    EXPECT_EQ(game.Read("addons/readme.txt"), "read me");
    EXPECT_FALSE(game.Exists("addons/data"));

    // "AddOns\" is the game's own folder: created for the package, held by "<Core files>".
    Handle<CFileNode> addons = FolderAt(db, "addons\\");
    ASSERT_TRUE(addons);
    EXPECT_TRUE(addons->flags & NF_CORE);
    EXPECT_TRUE(Holds(*db.CoreFiles(), addons));
    EXPECT_FALSE(Holds(*package, addons));
    for (const char* rel : {"addons\\island.pbo", "addons\\trees.PBO", "addons\\readme.txt"}) {
        Handle<CFileNode> node = NodeAt(db, rel);
        ASSERT_TRUE(node) << rel;
        EXPECT_EQ(node->status, NS_ACTIVE) << rel;
        EXPECT_EQ(node->diskName, node->name) << rel;
        EXPECT_EQ(node->bindCount, 1u) << rel;
        EXPECT_TRUE(Holds(*package, node)) << rel;
    }
    EXPECT_EQ(NodeAt(db, "addons\\island.pbo")->crc, Crc32Of("island"));
    EXPECT_EQ(total, 6u + 5u + 7u);
    EXPECT_EQ(done, total.load());
    EXPECT_EQ(report.written.size(), 3u);
}

TEST_F(InstallerTest, DirectivesPlaceRenameIgnoreAndLeaveOut) {
    ZipBuilder zip = Described("PACKAGE Islands\nINFOURL http://islands.example/\n"
                               "IGNORE *.bak\n"
                               "INSTALL maps/*.pbo addons\\maps\\\n"
                               "INSTALL notes/first.txt Readme.txt\n"
                               "EXTRACT *.cfg config/island.cfg\n"
                               "INSTALLPATH missions/*");
    zip.Add("maps/a.pbo", "map a")
        .Add("old.bak", "backup")
        .Add("notes/first.txt", "notes")
        .Add("one.cfg", "first cfg")
        .Add("two.cfg", "second cfg")
        .Add("missions/m1/mission.sqm", "mission")
        .Add("stray.txt", "not wanted");
    String archive = Archive(zip);
    ASSERT_TRUE(Install(archive)) << report.error;

    const Handle<CPackage>& package = db.Packages().back();
    EXPECT_EQ(package->name, "Islands");
    EXPECT_EQ(package->homePage, "http://islands.example/");
    EXPECT_EQ(game.Read("addons/maps/a.pbo"), "map a");
    EXPECT_EQ(game.Read("missions/m1/mission.sqm"), "mission");
    EXPECT_FALSE(game.Exists("old.bak"));
    EXPECT_FALSE(game.Exists("stray.txt"));
    EXPECT_FALSE(game.Exists("gantry.txt"));
    EXPECT_EQ(report.leftOut, std::vector<String>{"stray.txt"});
    EXPECT_EQ(report.ignored, (std::vector<String>{"gantry.txt", "old.bak"}));

    // A renaming target at a core path: the file joins "<Core files>" as well.
    Handle<CFileNode> readme = NodeAt(db, "Readme.txt");
    ASSERT_TRUE(readme);
    EXPECT_EQ(game.Read("Readme.txt"), "notes");
    EXPECT_TRUE(readme->flags & NF_CORE);
    EXPECT_TRUE(Holds(*db.CoreFiles(), readme));
    EXPECT_EQ(readme->bindCount, 2u);

    // Two entries renamed to one destination: the later one ends up active, the earlier kept
    // under its inactive name.
    EXPECT_EQ(game.Read("config/island.cfg"), "second cfg");
    HandleArray<CFileNode> versions = NodesAt(db, "config\\island.cfg");
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0]->status, NS_INACTIVE);
    EXPECT_EQ(game.Read("config/" + versions[0]->InactiveName()), "first cfg");
    EXPECT_EQ(versions[1]->status, NS_ACTIVE);

    // Everything but the entry no directive matched counts as done.
    EXPECT_EQ(done, total - std::string("not wanted").size());
}

TEST_F(InstallerTest, InstallPathReproducesTheArchiveTree) {
    ZipBuilder zip = Described("INSTALLPATH *");
    zip.Add("@Islands/addons/isl.pbo", "pbo").Add("@Islands/mod.cpp", "cpp").Add("top.txt", "t");
    ASSERT_TRUE(Install(Archive(zip))) << report.error;
    EXPECT_EQ(game.Read("@Islands/addons/isl.pbo"), "pbo");
    EXPECT_EQ(game.Read("@Islands/mod.cpp"), "cpp");
    EXPECT_EQ(game.Read("top.txt"), "t");
    const Handle<CPackage>& package = db.Packages().back();
    EXPECT_TRUE(Holds(*package, FolderAt(db, "@Islands\\")));
    EXPECT_TRUE(Holds(*package, NodeAt(db, "@Islands\\addons\\isl.pbo")));
}

TEST_F(InstallerTest, PresentIdenticalFileIsReusedNotRewritten) {
    game.Write("AddOns/isl.pbo", "same bytes");
    game.SetTime("AddOns/isl.pbo", 1000000000);
    ASSERT_TRUE(db.Scan());
    Handle<CFileNode> present = NodeAt(db, "AddOns\\isl.pbo");
    ASSERT_TRUE(present);
    ASSERT_TRUE(Holds(*db.UnknownAddons(), present));
    ino_t before = InodeOf(game / "AddOns/isl.pbo");

    ZipBuilder zip;
    zip.Add("isl.pbo", "same bytes", ZipDate{2003, 8, 23, 10, 20, 30});
    ASSERT_TRUE(Install(Archive(zip))) << report.error;

    EXPECT_EQ(InodeOf(game / "AddOns/isl.pbo"), before);
    EXPECT_EQ(platform::GetAttributes(game / "AddOns/isl.pbo")->modified,
              FileTimeFromUnix(1000000000));
    EXPECT_TRUE(Holds(*db.Packages().back(), present));
    EXPECT_FALSE(Holds(*db.UnknownAddons(), present));
    EXPECT_EQ(present->bindCount, 1u);
    EXPECT_EQ(NodesAt(db, "AddOns\\isl.pbo").size(), 1u);
    EXPECT_EQ(report.reused, std::vector<String>{"addons\\isl.pbo"});
    EXPECT_TRUE(report.written.empty());
    EXPECT_EQ(done, total.load());
}

TEST_F(InstallerTest, NewFilesGoStraightToTheirActiveNameUnlessTheNameIsHeld) {
    game.MakeFolder("addons");
    ASSERT_TRUE(db.Scan());
    // Made after the scan: the database does not know it, the folder does.
    game.Write("addons/Held.pbo", "not ours");
    ZipBuilder zip;
    zip.Add("held.pbo", "ours", ZipDate{2003, 8, 23, 10, 20, 30}).Add("free.pbo", "free");
    EXPECT_FALSE(Install(Archive(zip)));
    EXPECT_FALSE(report.rolledBack);

    Handle<CFileNode> held = NodeAt(db, "addons\\held.pbo");
    ASSERT_TRUE(held);
    EXPECT_EQ(held->status, NS_INACTIVE);
    EXPECT_EQ(held->diskName, held->InactiveName());
    EXPECT_EQ(game.Read("addons/" + held->diskName), "ours");
    EXPECT_EQ(held->modified, FileTimeFromUnix(1061634030));
    EXPECT_EQ(platform::GetAttributes(game / ("addons/" + held->diskName))->modified,
              held->modified);
    EXPECT_EQ(game.Read("addons/Held.pbo"), "not ours");
    ASSERT_EQ(report.inactive.size(), 1u);
    EXPECT_EQ(report.inactive[0].rfind("addons\\held.pbo: ", 0), 0u) << report.inactive[0];

    Handle<CFileNode> free = NodeAt(db, "addons\\free.pbo");
    ASSERT_TRUE(free);
    EXPECT_EQ(free->status, NS_ACTIVE);
    EXPECT_EQ(free->diskName, "free.pbo");
    EXPECT_EQ(game.Read("addons/free.pbo"), "free");
    // Nothing else was left in the folder, under any name.
    EXPECT_EQ(game.List("addons"),
              (std::vector<std::string>{"Held.pbo", "free.pbo", held->InactiveName()}));
}

TEST_F(InstallerTest, FileTheOfferedPackageFoundElsewhereIsBoundWhereItLies) {
    game.Write("@Mod/addons/isl.pbo", "island");
    ASSERT_TRUE(db.Scan());
    Handle<CFileNode> elsewhere = NodeAt(db, "@Mod\\addons\\isl.pbo");
    ASSERT_TRUE(elsewhere);
    CPackage offered;
    offered.members = {nullptr, elsewhere};

    ZipBuilder zip;
    zip.Add("isl.pbo", "island");
    ASSERT_TRUE(Install(Archive(zip), &offered)) << report.error;
    EXPECT_FALSE(game.Exists("addons/isl.pbo"));
    EXPECT_TRUE(Holds(*db.Packages().back(), elsewhere));
    EXPECT_TRUE(report.written.empty());
}

TEST_F(InstallerTest, TakenNamesGetTildes) {
    auto existing = std::make_shared<CPackage>();
    existing->name = "PACK";
    db.AddPackage(existing);
    ZipBuilder zip = Described("PACKAGE pack\nINSTALL *.pbo addons\\");
    zip.Add("x.pbo", "x");
    String archive = Archive(zip);
    ASSERT_TRUE(Install(archive)) << report.error;
    EXPECT_EQ(db.Packages().back()->name, "pack~");
    ASSERT_TRUE(Install(archive)) << report.error;
    EXPECT_EQ(db.Packages().back()->name, "pack~~");
    // The same file now belongs to both installs.
    Handle<CFileNode> shared = NodeAt(db, "addons\\x.pbo");
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->bindCount, 2u);
}

TEST_F(InstallerTest, FolderOnDiskWithoutNodeStopsAndUndoesTheInstall) {
    ZipBuilder zip = Described("INSTALLPATH maps/*\nINSTALL *.pbo addons\\");
    zip.Add("maps/m.txt", "map").Add("x.pbo", "x");
    game.MakeFolder("addons"); // after the scan: the database does not know it
    size_t before = PackageCount();
    EXPECT_FALSE(Install(Archive(zip)));
    EXPECT_NE(report.error.find("addons"), String::npos) << report.error;
    EXPECT_TRUE(report.rolledBack);
    EXPECT_EQ(PackageCount(), before);
    EXPECT_EQ(game.List(""), std::vector<std::string>{"addons"});
    EXPECT_TRUE(db.Root()->children.empty());
}

TEST_F(InstallerTest, FilesGetTheStoredTimeWithoutTimeZoneShift) {
    ZipBuilder zip;
    zip.Add("august.pbo", "a", ZipDate{2003, 8, 23, 10, 20, 30})
        .Add("january.pbo", "j", ZipDate{2004, 1, 5, 0, 0, 0});
    ASSERT_TRUE(Install(Archive(zip))) << report.error;
    struct Case {
        const char* rel;
        int64_t unix; // the stored civil time read as UTC
    };
    for (const Case& c :
         {Case{"addons\\august.pbo", 1061634030}, Case{"addons\\january.pbo", 1073260800}}) {
        Handle<CFileNode> node = NodeAt(db, c.rel);
        ASSERT_TRUE(node) << c.rel;
        EXPECT_EQ(node->modified, FileTimeFromUnix(c.unix)) << c.rel;
        EXPECT_EQ(platform::GetAttributes(game / c.rel)->modified, FileTimeFromUnix(c.unix))
            << c.rel;
    }
}

TEST_F(InstallerTest, EntryFailingItsCrcIsAnErrorAndLeavesNoFile) {
    game.MakeFolder("AddOns");
    ASSERT_TRUE(db.Scan());
    ZipBuilder zip;
    zip.Add("good.pbo", "good").AddWithCrc("bad.pbo", "damaged", Crc32Of("damaged") ^ 0x10);
    EXPECT_FALSE(Install(Archive(zip)));
    EXPECT_NE(report.error.find("bad.pbo"), String::npos) << report.error;
    EXPECT_NE(report.error.find("CRC-32"), String::npos) << report.error;
    EXPECT_EQ(game.List("AddOns"), std::vector<std::string>{});
    EXPECT_FALSE(NodeAt(db, "addons\\bad.pbo"));
    EXPECT_FALSE(NodeAt(db, "addons\\good.pbo"));
}

TEST_F(InstallerTest, ZeroByteEndsAnEntryName) {
    // Names are C strings to the database file: one with a zero byte would corrupt it on save.
    ZipBuilder zip = Described("INSTALLPATH *");
    zip.Add("x.pbo#/../../up.pbo", "x");
    String archive = Archive(zip);
    std::string bytes;
    ASSERT_TRUE(test::ReadFileBytes(archive, bytes));
    // The name stands in the local header and in the central directory.
    const std::string marked = "x.pbo#/";
    for (size_t at = bytes.find(marked); at != std::string::npos; at = bytes.find(marked, at))
        bytes[at + 5] = '\0';
    ASSERT_TRUE(test::WriteFileBytes(archive, bytes));

    ASSERT_TRUE(Install(archive)) << report.error;
    EXPECT_EQ(game.Read("x.pbo"), "x");
    EXPECT_EQ(report.written, std::vector<String>{"x.pbo"});
    ASSERT_EQ(db.Root()->children.size(), 1u);
    EXPECT_EQ(db.Root()->children[0]->name, "x.pbo");
}

TEST_F(InstallerTest, RefusedArchivesChangeNothing) {
    ZipBuilder escaping = Described("INSTALLPATH *");
    escaping.Add("ok.pbo", "ok").Add("../../escape.pbo", "evil");
    ScratchFolder other;
    for (const String& archive : {Archive(escaping, "escape.tmp"), other / "absent.tmp"}) {
        size_t before = PackageCount();
        EXPECT_FALSE(Install(archive)) << archive;
        EXPECT_FALSE(report.error.empty()) << archive;
        EXPECT_EQ(PackageCount(), before) << archive;
        EXPECT_EQ(game.List(""), std::vector<std::string>{}) << archive;
        EXPECT_TRUE(db.Root()->children.empty()) << archive;
    }
}

TEST_F(InstallerTest, ArchiveThatDoesNotFitIsRefusedBeforeWriting) {
    game.Write("AddOns/present.pbo", "present");
    ASSERT_TRUE(db.Scan());
    ZipBuilder zip;
    zip.Add("present.pbo", "present").Add("new.pbo", "1234567890").Add("skip.txt", "123");
    zip.Add("gantry.txt", "GANTRY_START\nINSTALL *.pbo addons\\\nGANTRY_END");
    String archive = Archive(zip);

    // Only the file not yet present needs room: 10 bytes.
    struct Case {
        uint64_t free;
        bool installs;
    };
    for (const Case& c : {Case{9, false}, Case{10, true}}) {
        size_t before = PackageCount();
        CInstaller installer(db, archive, done, total, nullptr);
        installer.SetFreeSpaceSource([&](const String&) { return c.free; });
        EXPECT_EQ(installer.Run(), c.installs) << c.free;
        EXPECT_EQ(PackageCount(), before + (c.installs ? 1 : 0)) << c.free;
        EXPECT_EQ(game.Exists("addons/new.pbo") || game.Exists("AddOns/new.pbo"), c.installs);
    }
}

} // namespace
} // namespace quillory
