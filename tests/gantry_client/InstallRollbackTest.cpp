// Installs that fail part-way or are cancelled leave the game folder and the database exactly as
// they were; archives are refused with the entry and the rule named; entries left under their
// inactive name are reported.
#include "gantry/client/Installer.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sys/mount.h>

namespace quillory {
namespace {

using test::Crc32Of;
using test::ScratchFolder;
using test::TempGameFolder;
using test::ZipBuilder;
namespace fs = std::filesystem;

// Every entry below `top` with its content and write time (files) or a mark (folders, whose
// times follow any entry made and removed in them).
std::map<std::string, std::string> TreeOf(const fs::path& top) {
    std::map<std::string, std::string> tree;
    for (auto it =
             fs::recursive_directory_iterator(top, fs::directory_options::skip_permission_denied);
         it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = fs::relative(it->path(), top).string();
        if (it->is_directory()) {
            tree[rel] = "<folder>";
            continue;
        }
        std::error_code error;
        const auto time = fs::last_write_time(it->path(), error).time_since_epoch().count();
        std::string content;
        test::ReadFileBytes(it->path(), content);
        tree[rel] = content + " @" + std::to_string(time);
    }
    return tree;
}

class InstallRollbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.BuildInstallation();
        db.SetGamePath(game.Path());
        ASSERT_TRUE(db.Scan());
    }

    String Archive(const ZipBuilder& zip, const std::string& name = "pack.tmp") {
        String path = data / name;
        EXPECT_TRUE(zip.Write(path));
        return path;
    }

    bool Install(const String& archive, CInstaller::CancelCheck cancel = {}) {
        return InstallPackage(db, archive, done, total, nullptr, &report, std::move(cancel));
    }

    std::string SavedDatabase() {
        EXPECT_TRUE(db.Save());
        std::string bytes;
        EXPECT_TRUE(test::ReadFileBytes(data / "quillory.dat", bytes));
        return bytes;
    }

    TempGameFolder game;
    ScratchFolder data;
    CFileDatabase db{data.Path().string()};
    std::atomic<uint64_t> done{0}, total{0};
    InstallReport report;
};

TEST_F(InstallRollbackTest, FailureOnTheLastEntryLeavesFolderAndDatabaseAsBefore) {
    // An inactive copy the database knows as an unknown add-on, to be reused and activated.
    const std::string oldGun = "old gun, version 2";
    char crcText[9];
    std::snprintf(crcText, sizeof crcText, "%08x", static_cast<unsigned>(Crc32Of(oldGun)));
    game.Write(std::string("ADDONS/gun.pbo.") + crcText + ".aab", oldGun);
    ASSERT_TRUE(db.Scan());

    ZipBuilder zip;
    zip.Add("gantry.txt", "GANTRY_START\nPACKAGE Tanks\nINSTALLPATH *\nGANTRY_END\n")
        .Add("AddOns/mymod_tank.pbo", game.Read("ADDONS/mymod_tank.pbo")) // present: reused
        .Add("AddOns/gun.pbo", oldGun)              // present but inactive: activated
        .Add("AddOns/Weapons.pbo", "newer weapons") // steps the game's own aside
        .Add("@Tanks/addons/tank.pbo", "tank")      // new folders and a new file
        .Add("Res/AddOns/tank_sky.pbo", "sky")
        .AddWithCrc("@Tanks/addons/last.pbo", "damaged", Crc32Of("damaged") ^ 1);
    const String archive = Archive(zip);

    const auto treeBefore = TreeOf(game.Path());
    const std::string databaseBefore = SavedDatabase();
    const size_t packagesBefore = db.Packages().size();

    EXPECT_FALSE(Install(archive));
    EXPECT_TRUE(report.rolledBack);
    EXPECT_TRUE(report.notRestored.empty());
    EXPECT_NE(report.error.find("last.pbo"), String::npos) << report.error;
    EXPECT_NE(report.error.find("CRC-32"), String::npos) << report.error;
    EXPECT_FALSE(report.package);

    EXPECT_EQ(TreeOf(game.Path()), treeBefore);
    EXPECT_EQ(db.Packages().size(), packagesBefore);
    EXPECT_EQ(SavedDatabase(), databaseBefore);
}

TEST_F(InstallRollbackTest, CancelStopsAfterTheEntryInHandAndUndoesThePackage) {
    ZipBuilder zip;
    zip.Add("one.pbo", "1").Add("two.pbo", "2").Add("three.pbo", "3");
    const auto treeBefore = TreeOf(game.Path());
    const std::string databaseBefore = SavedDatabase();
    int asked = 0;
    EXPECT_FALSE(Install(Archive(zip), [&] { return ++asked == 2; }));
    EXPECT_EQ(asked, 2); // the third entry was never started
    EXPECT_EQ(report.error, "cancelled");
    EXPECT_TRUE(report.rolledBack);
    EXPECT_EQ(TreeOf(game.Path()), treeBefore);
    EXPECT_EQ(SavedDatabase(), databaseBefore);
}

TEST_F(InstallRollbackTest, ReinstallOverIdenticalFilesWritesNothing) {
    ZipBuilder zip;
    zip.Add("one.pbo", "1").Add("two.pbo", "2");
    const String archive = Archive(zip);
    ASSERT_TRUE(Install(archive)) << report.error;
    const auto tree = TreeOf(game.Path());
    ASSERT_TRUE(Install(archive)) << report.error;
    EXPECT_TRUE(report.written.empty());
    EXPECT_EQ(report.reused.size(), 2u); // bound to the second package where they lie
    EXPECT_EQ(TreeOf(game.Path()), tree);
}

// A game folder on a file system too small for the archive: the write fails for real.
TEST(InstallFullDiskTest, AFullDiskUndoesTheInstall) {
    ScratchFolder mountPoint;
    if (::mount("tmpfs", mountPoint.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount(path.c_str()); }
    } unmount{mountPoint.Path().string()};
    const std::string gamePath = mountPoint.Path().string() + "/";
    { std::ofstream(gamePath + "Ironvale.exe") << "exe"; }
    ScratchFolder data;
    CFileDatabase db(data.Path().string());
    db.SetGamePath(gamePath);
    ASSERT_TRUE(db.Scan());
    std::string big(200 * 1024, 'x');
    ZipBuilder zip;
    zip.Add("small.pbo", "small").Add("big.pbo", big);
    ASSERT_TRUE(zip.Write(data / "big.tmp"));
    const auto treeBefore = TreeOf(gamePath);
    const size_t packagesBefore = db.Packages().size();

    std::atomic<uint64_t> done{0}, total{0};
    InstallReport report;
    CInstaller installer(db, data / "big.tmp", done, total, nullptr);
    installer.SetFreeSpaceSource({}); // unknown: the write itself must find the disk full
    EXPECT_FALSE(installer.Run());
    report = installer.Report();
    EXPECT_TRUE(report.rolledBack);
    EXPECT_NE(report.error.find("big.pbo"), String::npos) << report.error;
    EXPECT_EQ(TreeOf(gamePath), treeBefore);
    EXPECT_EQ(db.Packages().size(), packagesBefore);
}

TEST_F(InstallRollbackTest, EntryWithAnEmptyNameIsRefused) {
    // Without the refusal "*" places it at "addons" itself, as a file.
    ZipBuilder empty;
    empty.Add("", "nameless");
    ZipBuilder zeroFirst;
    zeroFirst.Add("#hidden.pbo", "zero");
    const String emptyArchive = Archive(empty, "empty.tmp");
    const String zeroArchive = Archive(zeroFirst, "zero.tmp");
    std::string bytes;
    ASSERT_TRUE(test::ReadFileBytes(zeroArchive, bytes));
    for (size_t at = bytes.find("#hidden"); at != std::string::npos; at = bytes.find("#hidden", at))
        bytes[at] = '\0';
    ASSERT_TRUE(test::WriteFileBytes(zeroArchive, bytes));

    for (const String& archive : {emptyArchive, zeroArchive}) {
        const auto treeBefore = TreeOf(game.Path());
        const size_t packagesBefore = db.Packages().size();
        EXPECT_FALSE(Install(archive)) << archive;
        EXPECT_NE(report.error.find("empty name"), String::npos) << report.error;
        EXPECT_EQ(TreeOf(game.Path()), treeBefore) << archive;
        EXPECT_EQ(db.Packages().size(), packagesBefore) << archive;
    }
}

TEST_F(InstallRollbackTest, RefusalsNameTheEntryOrLineAndTheRule) {
    struct Case {
        const char* description; // null: no description
        const char* entry;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"GANTRY_START\nINSTALLPATH *\n", "a.pbo", {"GANTRY_START without GANTRY_END"}},
        {"GANTRY_START\nPACKAGE P\nINSTALL *.pbo\nGANTRY_END\n",
         "a.pbo",
         {"line 2", "INSTALL needs 2 arguments"}},
        {"GANTRY_START\nINSTALLPATH *\nGANTRY_END\n",
         "../../up.pbo",
         {"..\\..\\up.pbo", "outside the game folder", "INSTALLPATH *"}},
        {"GANTRY_START\nINSTALL *.pbo C:\\Windows\\\nGANTRY_END\n",
         "a.pbo",
         {"a.pbo", "outside the game folder", "INSTALL *.pbo C:\\Windows\\"}},
    };
    for (const Case& c : cases) {
        ZipBuilder zip;
        zip.Add("gantry.txt", c.description).Add(c.entry, "x");
        EXPECT_FALSE(Install(Archive(zip))) << c.entry;
        EXPECT_EQ(report.error.rfind("not an installable package archive: ", 0), 0u)
            << report.error;
        for (const std::string& part : c.expected)
            EXPECT_NE(report.error.find(part), String::npos) << report.error << " / " << part;
    }
    const String notZip = data / "text.tmp";
    ASSERT_TRUE(test::WriteFileBytes(notZip, "just text"));
    EXPECT_FALSE(Install(notZip));
    EXPECT_NE(report.error.find("not a zip archive"), String::npos) << report.error;
}

TEST_F(InstallRollbackTest, EntriesLeftUnderTheirInactiveNameAreReported) {
    struct Case {
        const char* name;
        ZipBuilder zip;
        std::string destination;
        std::string reason;
    };
    ZipBuilder duplicate;
    duplicate.Add("dup.pbo", "first").Add("dup.pbo", "second");
    ZipBuilder onFolder;
    onFolder.Add("gantry.txt", "GANTRY_START\nINSTALLPATH *\nGANTRY_END\n")
        .Add("stuff/inner.txt", "inner")
        .Add("stuff", "a file where the folder is");
    const Case cases[] = {
        {"duplicate entry name", duplicate, "addons\\dup.pbo", "took its name"},
        {"file entry on a folder", onFolder, "stuff", "in the way"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t packagesBefore = db.Packages().size();
        EXPECT_FALSE(Install(Archive(c.zip)));
        EXPECT_FALSE(report.rolledBack);
        EXPECT_EQ(db.Packages().size(), packagesBefore + 1); // installed, but not whole
        ASSERT_EQ(report.inactive.size(), 1u);
        EXPECT_EQ(report.inactive[0].rfind(c.destination + ": ", 0), 0u) << report.inactive[0];
        EXPECT_NE(report.inactive[0].find(c.reason), String::npos) << report.inactive[0];
        EXPECT_NE(report.error.find("inactive name"), String::npos) << report.error;
    }
}

} // namespace
} // namespace quillory
