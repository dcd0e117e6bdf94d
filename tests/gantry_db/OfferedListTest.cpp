#include "DatabaseBytes.h"
#include "TreeBuilder.h"

#include <gtest/gtest.h>

namespace quillory {
namespace {

using test::AddFile;
using test::AddFolder;
using test::Bytes;

struct Described {
    std::string path; // relative, "\" separated; a folder ends with "\"
    uint32_t size, crc;
};

// Writes a node list for paths given folder by folder; folders open as their paths need them.
void WriteTree(Bytes& b, const std::vector<Described>& files) {
    std::vector<std::string> open; // folder paths, outermost first
    for (const auto& f : files) {
        size_t cut = f.path.rfind('\\', f.path.size() - 2);
        std::string folder = cut == std::string::npos ? "" : f.path.substr(0, cut + 1);
        while (!open.empty() && folder.compare(0, open.back().size(), open.back()) != 0) {
            b.U8(0);
            open.pop_back();
        }
        std::string at = open.empty() ? "" : open.back();
        while (at != folder) {
            size_t next = folder.find('\\', at.size());
            b.Text(folder.substr(at.size(), next + 1 - at.size()));
            at = folder.substr(0, next + 1);
            open.push_back(at);
        }
        std::string name = f.path.substr(folder.size());
        b.Text(name);
        if (name.back() == '\\')
            open.push_back(f.path);
        else
            b.U32(f.size).U32(f.crc);
    }
    for (size_t i = 0; i <= open.size(); ++i)
        b.U8(0);
}

struct Offer {
    std::string name;
    uint32_t priority;
    std::vector<Described> files;
};

std::string Description(const std::vector<Offer>& offers) {
    Bytes b;
    b.U32(0xC0FFEE);
    for (int i = 0; i < 10; ++i)
        b.Text("text" + std::to_string(i));
    b.U32(uint32_t(offers.size()));
    for (const auto& o : offers) {
        b.Text("http://host/" + o.name + ".zip").U32(4321).Text(o.name).Text("http://home");
        b.Text("three").Text("four").U32(o.priority);
        WriteTree(b, o.files);
    }
    return b.data;
}

class OfferedListTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetGamePath("C:\\Game\\");
        db.SetRoot(test::MakeRoot("C:\\Game\\"));
        auto& root = *db.Root();
        // The game's own folders are core files and so never mod folders.
        auto addons = AddFolder(root, "AddOns\\");
        addons->flags |= NF_CORE;
        AddFile(*addons, "a.pbo", 10, 0xA);
        AddFile(*addons, "b.pbo", 20, 0xB, NS_INACTIVE);
        AddFile(*addons, "gone.pbo", 30, 0xC, NS_MISSING);
        auto res = AddFolder(root, "Res\\");
        res->flags |= NF_CORE;
        AddFile(*AddFolder(*res, "AddOns\\"), "r.pbo", 40, 0xD);
        auto bin = AddFolder(root, "bin\\");
        bin->flags |= NF_CORE;
        AddFile(*bin, "x.dll", 50, 0xE);
        AddFile(*AddFolder(*AddFolder(root, "@moda\\"), "addons\\"), "ma.pbo", 60, 0xF);
        AddFile(*AddFolder(*AddFolder(root, "modb\\"), "AddOns\\"), "mb.pbo", 70, 0x10);
        db.LocateAddonFolders();
        db.CollectModFolders();
    }

    CPackage& ReadOne(const Offer& offer) {
        std::string bytes = Description({offer});
        CMemoryStream s(bytes.data(), bytes.size());
        EXPECT_TRUE(db.ReadOfferedList(s));
        return *db.OfferedPackages().back();
    }

    CFileDatabase db;
};

TEST_F(OfferedListTest, ReadsTextsRecordsAndTheDescribedTree) {
    auto& p =
        ReadOne({"Pack", 7, {{"addons\\", 0, 0}, {"addons\\a.pbo", 10, 0xA}, {"x.txt", 1, 2}}});
    EXPECT_EQ(db.ServerText(0), "text0");
    EXPECT_EQ(db.ServerText(9), "text9");
    EXPECT_EQ(p.archivePath, "http://host/Pack.zip");
    EXPECT_EQ(p.archiveSize, 4321u);
    EXPECT_EQ(p.name, "Pack");
    EXPECT_EQ(p.homePage, "http://home");
    EXPECT_EQ(p.text3, "three");
    EXPECT_EQ(p.text4, "four");
    EXPECT_EQ(p.priority, 7u);
    ASSERT_EQ(p.described.size(), 3u);
    EXPECT_EQ(p.described[0]->name, "addons\\");
    EXPECT_TRUE(p.described[0]->IsFolder());
    EXPECT_EQ(p.described[1]->RelativePath(), "addons\\a.pbo");
    EXPECT_EQ(p.described[2]->size, 1u);
    EXPECT_EQ(p.described[2]->crc, 2u);
    ASSERT_EQ(p.members.size(), 3u);
    EXPECT_EQ(p.members[0], nullptr);
    EXPECT_EQ(p.members[1], db.Root()->Find("AddOns\\a.pbo", 10, 0xA, false));
    EXPECT_EQ(p.members[2], nullptr);
}

TEST_F(OfferedListTest, StatusFollowsTheHalfRule) {
    const Described a{"addons\\a.pbo", 10, 0xA}, r{"res\\addons\\r.pbo", 40, 0xD},
        x{"bin\\x.dll", 50, 0xE};
    const Described absent1{"addons\\new1.pbo", 1, 1}, absent2{"addons\\new2.pbo", 2, 2},
        absent3{"addons\\new3.pbo", 3, 3};
    struct Case {
        const char* what;
        std::vector<Described> files;
        uint32_t status;
        const char* text;
    } cases[] = {
        {"all at their paths", {a, r, x}, OS_INSTALLED, "Files installed"},
        {"no files at all", {{"addons\\", 0, 0}}, OS_INSTALLED, "Files installed"},
        {"two of three", {a, r, absent1}, OS_MISSING, "Missing files"},
        {"two of five", {a, r, absent1, absent2, absent3}, OS_MISSING, "Missing files"},
        {"one of five",
         {a, absent1, absent2, absent3, {"addons\\n4", 4, 4}},
         OS_NOT_INSTALLED,
         "No file installed"},
        {"one of three", {a, absent1, absent2}, OS_MISSING, "Missing files"},
        {"none", {absent1}, OS_NOT_INSTALLED, "No file installed"},
        {"a missing local file does not count",
         {{"addons\\gone.pbo", 30, 0xC}},
         OS_NOT_INSTALLED,
         "No file installed"},
        {"wrong CRC", {{"addons\\a.pbo", 10, 0xB}}, OS_NOT_INSTALLED, "No file installed"},
        {"moved into a mod folder's addons",
         {a, {"addons\\ma.pbo", 60, 0xF}},
         OS_PATH_DIFFERS,
         "Installed path differ"},
        {"a mod path found in another mod",
         {{"@other\\addons\\mb.pbo", 70, 0x10}},
         OS_PATH_DIFFERS,
         "Installed path differ"},
        {"case alone is no move", {{"ADDONS\\A.PBO", 10, 0xA}}, OS_INSTALLED, "Files installed"},
        {"outside add-on folders nothing is searched",
         {{"res\\bin\\x.dll", 50, 0xE}},
         OS_NOT_INSTALLED,
         "No file installed"},
        {"a top-level file is not searched",
         {{"ma.pbo", 60, 0xF}},
         OS_NOT_INSTALLED,
         "No file installed"},
    };
    for (const auto& c : cases) {
        auto& p = ReadOne({c.what, 5, c.files});
        EXPECT_EQ(p.status, c.status) << c.what;
        EXPECT_EQ(p.OfferedStatusText(), c.text) << c.what;
    }
}

TEST_F(OfferedListTest, AnInactiveMatchClearsAllFilesActiveOnly) {
    auto& active = ReadOne({"A", 5, {{"addons\\a.pbo", 10, 0xA}}});
    EXPECT_EQ(active.allFilesActive, 1);
    auto& inactive = ReadOne({"B", 5, {{"addons\\a.pbo", 10, 0xA}, {"addons\\b.pbo", 20, 0xB}}});
    EXPECT_EQ(inactive.allFilesActive, 0);
    EXPECT_EQ(inactive.status, OS_INSTALLED);
}

TEST_F(OfferedListTest, NeedsDownloadWhenImportantAndMissing) {
    const Described found{"addons\\a.pbo", 10, 0xA}, absent{"addons\\new.pbo", 1, 1};
    struct Case {
        uint32_t priority;
        std::vector<Described> files;
        uint8_t needsDownload;
    } cases[] = {
        {4, {found, absent}, 1},                // status 12
        {10, {absent}, 1},                      // status 13
        {3, {absent}, 0},                       // optional
        {10, {{"addons\\ma.pbo", 60, 0xF}}, 0}, // status 11
        {4, {found}, 0},                        // status 10
    };
    for (const auto& c : cases) {
        auto& p = ReadOne({"P", c.priority, c.files});
        EXPECT_EQ(p.needsDownload, c.needsDownload) << c.priority << " " << p.status;
    }
}

TEST_F(OfferedListTest, ModSuggestionListsModFoldersInOrderOfFirstMatch) {
    std::string bytes = Description({
        {"First", 5, {{"modb\\addons\\mb.pbo", 70, 0x10}, {"@moda\\addons\\ma.pbo", 60, 0xF}}},
        {"Second", 5, {{"@moda\\addons\\ma.pbo", 60, 0xF}}},
        {"Third", 5, {{"addons\\a.pbo", 10, 0xA}, {"res\\addons\\r.pbo", 40, 0xD}}},
    });
    EXPECT_EQ(db.ModSuggestion(), "");
    CMemoryStream s(bytes.data(), bytes.size());
    ASSERT_TRUE(db.ReadOfferedList(s));
    EXPECT_EQ(db.ModSuggestion(), "modb;@moda");
}

TEST_F(OfferedListTest, CheckOfferedPackagesRaisesAndClearsTheManagerFlag) {
    GantryAlert alert;
    ReadOne({"Optional", 3, {{"addons\\new.pbo", 1, 1}}});
    db.CheckOfferedPackages(alert);
    EXPECT_FALSE(alert.managerBlink);
    ReadOne({"Needed", 4, {{"addons\\new.pbo", 1, 1}}});
    db.CheckOfferedPackages(alert);
    EXPECT_TRUE(alert.managerBlink);
    // The file turns up: the next check clears the flag.
    AddFile(*db.AddonsFolder(), "new.pbo", 1, 1);
    db.CheckOfferedPackages(alert);
    EXPECT_FALSE(alert.managerBlink);
    EXPECT_EQ(db.OfferedPackages()[1]->status, OS_INSTALLED);
}

TEST_F(OfferedListTest, StaleMembersNeverLeadToAFreedFolder) {
    auto& p = ReadOne({"P", 5, {{"@moda\\addons\\ma.pbo", 60, 0xF}}});
    ASSERT_EQ(p.members.size(), 3u);
    ASSERT_NE(p.members[2], nullptr);
    EXPECT_EQ(db.ModSuggestion(), "@moda");
    // The mod folder leaves the tree and dies while the offered list still holds its file.
    for (size_t i = 0; i < db.Root()->children.size(); ++i)
        if (db.Root()->children[i]->name == "@moda\\")
            db.Root()->RemoveChildAt(i);
    db.CollectModFolders();
    EXPECT_EQ(db.ModSuggestion(), "");
}

TEST_F(OfferedListTest, ADamagedDescriptionChangesNothing) {
    ReadOne({"Kept", 5, {{"addons\\a.pbo", 10, 0xA}}});
    std::string good = Description(
        {{"P", 5, {{"addons\\", 0, 0}, {"addons\\a.pbo", 10, 0xA}}}, {"Q", 8, {{"x", 1, 2}}}});
    std::string deep = Bytes().U32(0).data;
    for (int i = 0; i < 10; ++i)
        deep += std::string("t") + '\0';
    deep += Bytes().U32(1).Text("a").U32(0).Text("n").Text("").Text("").Text("").U32(0).data;
    for (int i = 0; i < 600; ++i)
        deep += std::string("d\\") + '\0';
    deep += std::string(601, '\0');
    struct Case {
        std::string what, bytes;
    } cases[] = {
        {"package count beyond the data",
         good.substr(0, good.find("http") - 4) + Bytes().U32(1000000).data},
        {"nesting deeper than any layout", deep},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (size_t n = 0; n < good.size(); ++n)
        all.push_back({"cut at " + std::to_string(n), good.substr(0, n)});
    for (const auto& c : all) {
        CMemoryStream s(c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(db.ReadOfferedList(s)) << c.what;
        ASSERT_EQ(db.OfferedPackages().size(), 1u) << c.what;
        EXPECT_EQ(db.ServerText(0), "text0") << c.what;
    }
    CMemoryStream s(good.data(), good.size());
    EXPECT_TRUE(db.ReadOfferedList(s));
    EXPECT_EQ(db.OfferedPackages().size(), 3u);
}

// A few kilobytes of zlib can describe millions of nodes, each costing far more memory than its
// ten bytes on the wire: a description beyond the bounds is refused before it is all built.
TEST_F(OfferedListTest, ADescriptionBeyondTheBoundsIsRefused) {
    // `packages` packages sharing `files` one-letter files between them.
    const auto flat = [](uint32_t packages, uint32_t files) {
        Bytes b;
        b.U32(0);
        for (int i = 0; i < 10; ++i)
            b.Text("t");
        b.U32(packages);
        for (uint32_t p = 0; p < packages; ++p) {
            b.Text("a").U32(0).Text("n").Text("").Text("").Text("").U32(0);
            const uint32_t here = files / packages + (p < files % packages ? 1 : 0);
            for (uint32_t f = 0; f < here; ++f)
                b.Text("x").U32(1).U32(2);
            b.U8(0);
        }
        return b.data;
    };
    const uint32_t nodes = CFileDatabase::MAX_DESCRIBED_NODES;
    const uint32_t packages = CFileDatabase::MAX_OFFERED_PACKAGES;
    struct Case {
        const char* what;
        std::string bytes;
        bool accepted;
    } cases[] = {
        {"three million files", flat(1, 3000000), false},
        {"one node beyond the bound, over two packages", flat(2, nodes + 1), false},
        {"as many nodes as the bound", flat(2, nodes), true},
        {"one package beyond the bound", flat(packages + 1, 0), false},
        {"as many packages as the bound", flat(packages, 0), true},
    };
    for (const Case& c : cases) {
        db.ClearOfferedList();
        CMemoryStream s(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(db.ReadOfferedList(s), c.accepted) << c.what;
        EXPECT_EQ(db.OfferedPackages().empty(), !c.accepted) << c.what;
    }
}

} // namespace
} // namespace quillory
