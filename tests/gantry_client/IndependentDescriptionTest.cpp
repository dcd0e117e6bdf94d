// Package descriptions, entry placement and installs checked against hand-built archives and
// hand-worked expectations.

#include "common/FileTime.h"
#include "gantry/client/EntryPlacement.h"
#include "gantry/client/Installer.h"
#include "gantry/client/PackageArchive.h"
#include "gantry/client/Wildcard.h"
#include "gantry/db/FileDatabase.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace quillory {
namespace {

using test::Crc32Of;
using test::TempGameFolder;
using test::ZipBuilder;
using test::ZipDate;

struct Dir {
    DirectiveKind kind;
    std::string pattern;
    std::string target;
};

constexpr auto I = DirectiveKind::Install;
constexpr auto IP = DirectiveKind::InstallPath;
constexpr auto E = DirectiveKind::Extract;
constexpr auto EP = DirectiveKind::ExtractPath;
constexpr auto IG = DirectiveKind::Ignore;

std::vector<Dir> Listed(const PackageArchive& archive) {
    std::vector<Dir> out;
    for (const auto& d : archive.Directives())
        out.push_back({d->kind, d->pattern, d->target});
    return out;
}

bool operator==(const Dir& a, const Dir& b) {
    return a.kind == b.kind && a.pattern == b.pattern && a.target == b.target;
}

void PrintTo(const Dir& d, std::ostream* os) {
    *os << "{" << static_cast<int>(d.kind) << ", \"" << d.pattern << "\", \"" << d.target << "\"}";
}

const std::vector<Dir> kDefaults = {
    {IG, "gantry.txt", ""}, {I, "*.pbo", "addons\\"}, {E, "*", "addons\\"}};

struct DescriptionCase {
    const char* what;
    std::optional<std::string> description; // none: no "gantry.txt" at the root
    const char* descriptionEntry = "gantry.txt";
    bool accepted = true;
    std::string name;
    std::string infoUrl;
    bool hasDescription = true;
    std::vector<Dir> directives;
};

const DescriptionCase kDescriptionCases[] = {
    {"the worked example, with free text around the block",
     "Any words here are ignored.\nPACKAGE Outside\nGANTRY_START\nPACKAGE IslandPack\n"
     "INSTALL *.pbo addons/\nEXTRACTPATH missions\\*\nIGNORE readme.txt\nGANTRY_END\n"
     "INSTALL after/end x\n",
     "gantry.txt",
     true,
     "IslandPack",
     "",
     true,
     {{IG, "gantry.txt", ""},
      {I, "*.pbo", "addons\\"},
      {EP, "missions\\*", ""},
      {IG, "readme.txt", ""}}},
    {"no description: defaults, named after the archive file", std::nullopt, "gantry.txt", true,
     "islands", "", false, kDefaults},
    {"a description inside a folder is no description", "GANTRY_START\nPACKAGE Deep\nGANTRY_END\n",
     "docs/gantry.txt", true, "islands", "", false, kDefaults},
    {"the description's name is matched ignoring case",
     "GANTRY_START\nPACKAGE Loud\nGANTRY_END\n",
     "GANTRY.TXT",
     true,
     "Loud",
     "",
     true,
     {{IG, "gantry.txt", ""}}},
    {"markers in any case, anywhere in a line",
     "xxgantry_startyy\nPACKAGE Mixed\nzzGaNtRy_EnD\n",
     "gantry.txt",
     true,
     "Mixed",
     "",
     true,
     {{IG, "gantry.txt", ""}}},
    {"an empty block adds no defaults",
     "GANTRY_START\nGANTRY_END\n",
     "gantry.txt",
     true,
     "islands",
     "",
     true,
     {{IG, "gantry.txt", ""}}},
    {"the character after the start marker is dropped, not the line",
     "GANTRY_START PACKAGE Same\nGANTRY_END",
     "gantry.txt",
     true,
     "Same",
     "",
     true,
     {{IG, "gantry.txt", ""}}},
    {"the last line may run into the end marker",
     "GANTRY_START\nPACKAGE Tail GANTRY_END",
     "gantry.txt",
     true,
     "Tail",
     "",
     true,
     {{IG, "gantry.txt", ""}}},
    {"INSTALL with only a pattern rejects",
     "GANTRY_START\nINSTALL *.pbo\nGANTRY_END\n",
     "gantry.txt",
     false,
     "",
     "",
     false,
     {}},
    {"EXTRACT with only a pattern rejects",
     "GANTRY_START\nEXTRACT *\nGANTRY_END\n",
     "gantry.txt",
     false,
     "",
     "",
     false,
     {}},
    {"a bare IGNORE rejects",
     "GANTRY_START\nIGNORE\nGANTRY_END\n",
     "gantry.txt",
     false,
     "",
     "",
     false,
     {}},
    {"a start marker without an end marker rejects",
     "GANTRY_START\nPACKAGE A\n",
     "gantry.txt",
     false,
     "",
     "",
     false,
     {}},
    {"quoted empty argument is no argument",
     "GANTRY_START\nPACKAGE \"\"\nGANTRY_END\n",
     "gantry.txt",
     false,
     "",
     "",
     false,
     {}},
    {"unknown words and plural keywords are skipped; keywords in any case",
     "GANTRY_START\nCOPY a b\npackages Wrong\npackage Right\ninstallPath maps/*\n"
     "\n   \t\nExtract a b\nGANTRY_END\n",
     "gantry.txt",
     true,
     "Right",
     "",
     true,
     {{IG, "gantry.txt", ""}, {IP, "maps\\*", ""}, {E, "a", "b"}}},
    {"quoted text keeps its spaces; slashes turn in arguments only",
     "GANTRY_START\nPACKAGE \"Two  Spaces\"\nINFOURL http://host/a/b.html\n"
     "INSTALL \"my dir/x y.pbo\" \"add ons/\"\nGANTRY_END\n",
     "gantry.txt",
     true,
     "Two  Spaces",
     "http://host/a/b.html",
     true,
     {{IG, "gantry.txt", ""}, {I, "my dir\\x y.pbo", "add ons\\"}}},
    {"EXTRACT data/*.bin res/data/",
     "GANTRY_START\nEXTRACT data/*.bin res/data/\nGANTRY_END\n",
     "gantry.txt",
     true,
     "islands",
     "",
     true,
     {{IG, "gantry.txt", ""}, {E, "data\\*.bin", "res\\data\\"}}},
    {"the name is kept exactly as written",
     "GANTRY_START\nPACKAGE a/b\nGANTRY_END\n",
     "gantry.txt",
     true,
     "a/b",
     "",
     true,
     {{IG, "gantry.txt", ""}}},
    {"later PACKAGE and INFOURL lines win; extra arguments are ignored",
     "GANTRY_START\nPACKAGE First\nINFOURL one\nPACKAGE Second extra\nINFOURL two\n"
     "IGNORE a b c\nINSTALLPATH p q\nGANTRY_END\n",
     "gantry.txt",
     true,
     "Second",
     "two",
     true,
     {{IG, "gantry.txt", ""}, {IG, "a", ""}, {IP, "p", ""}}},
    {"CRLF lines; a quote open at the line end keeps the line break",
     "GANTRY_START\r\nPACKAGE \"Open\r\nINSTALL a\tb\r\nGANTRY_END\r\n",
     "gantry.txt",
     true,
     "Open\r\n",
     "",
     true,
     {{IG, "gantry.txt", ""}, {I, "a", "b"}}},
    {"a character after a closing quote starts a new token",
     "GANTRY_START\nINSTALL \"a\"b\nGANTRY_END\n",
     "gantry.txt",
     true,
     "islands",
     "",
     true,
     {{IG, "gantry.txt", ""}, {I, "a", "b"}}},
};

class DescriptionTest : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(DescriptionTest, ParsesAsWorkedOut) {
    const DescriptionCase& c = GetParam();
    TempGameFolder dir;
    ZipBuilder zip;
    zip.AddFolder("maps");
    zip.Add("maps/a.pbo", "data");
    if (c.description)
        zip.Add(c.descriptionEntry, *c.description);
    const std::string path = dir / "islands.tmp";
    ASSERT_TRUE(zip.Write(path));

    PackageArchive archive(path);
    ASSERT_EQ(archive.Parse(), c.accepted);
    if (!c.accepted)
        return;
    EXPECT_EQ(archive.PackageName(), c.name);
    EXPECT_EQ(archive.InfoUrl(), c.infoUrl);
    EXPECT_EQ(archive.HasDescription(), c.hasDescription);
    EXPECT_EQ(Listed(archive), c.directives);
}

INSTANTIATE_TEST_SUITE_P(Cases, DescriptionTest, ::testing::ValuesIn(kDescriptionCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(DescriptionArchive, RejectsWhatIsNoUsableZip) {
    TempGameFolder dir;
    dir.Write("junk.tmp", "this is not a zip archive");
    PackageArchive junk(dir / "junk.tmp");
    EXPECT_FALSE(junk.Parse());

    ASSERT_TRUE(ZipBuilder().Write(dir / "empty.tmp"));
    PackageArchive empty(dir / "empty.tmp");
    EXPECT_FALSE(empty.Parse());

    PackageArchive absent(dir / "absent.tmp");
    EXPECT_FALSE(absent.Parse());
}

TEST(DescriptionArchive, NameFromPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\dl\\islands.tmp", "islands"},
        {"dir/.tmp", ".tmp"},
        {"a.b.c.tmp", "a.b.c"},
        {"x\\noext", "noext"},
        {"dir/sub\\pack.zip//", "pack"},
        {"..tmp", "."},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(PackageArchive::NameFromPath(path), name) << path;
}

TEST(DescriptionArchive, ArchiveNamedDotTmpKeepsItsName) {
    TempGameFolder dir;
    ASSERT_TRUE(ZipBuilder().Add("a.pbo", "x").Write(dir / ".tmp"));
    PackageArchive archive(dir / ".tmp");
    ASSERT_TRUE(archive.Parse());
    EXPECT_EQ(archive.PackageName(), ".tmp");
}

TEST(Wildcard, MatchesWholePathsIgnoringCase) {
    struct {
        const char* text;
        const char* pattern;
        bool match;
    } const cases[] = {
        {"addons\\x.PBO", "*.pbo", true},
        {"x.pbo.bak", "*.pbo", false},
        {"a", "?", true},
        {"", "?", false},
        {"ab", "?", false},
        {"", "*", true},
        {"deep\\er\\x", "*", true},
        {"", "", true},
        {"a", "", false},
        {"Missions\\m1\\x.sqm", "missions\\*", true},
        {"missions", "missions\\*", false},
        {"abcbd", "a*b?", true},
        {"ab", "a*b?", false},
        {"x\\y", "x?y", true},
        {"ABC", "abc", true},
        {"abc", "ab", false},
        {"ab", "abc", false},
        {"aXbXc", "*b*c", true},
        {"readme.txt", "*.txt*", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchWildcard(c.text, c.pattern), c.match)
            << "'" << c.text << "' vs '" << c.pattern << "'";
}

HandleArray<PackageDirective> Make(const std::vector<Dir>& list) {
    HandleArray<PackageDirective> out;
    for (const auto& d : list)
        out.push_back(
            std::make_shared<PackageDirective>(PackageDirective{d.kind, d.pattern, d.target}));
    return out;
}

TEST(Placement, FirstMatchingDirectiveDecides) {
    const auto defaults = Make(kDefaults);
    const auto custom = Make({{IG, "gantry.txt", ""},
                              {IG, "skip.pbo", ""},
                              {I, "*.pbo", "addons\\"},
                              {I, "docs\\*", "readme.txt"},
                              {E, "res\\*", "res\\custom\\"},
                              {IP, "missions\\*", ""},
                              {EP, "maps\\*", ""}});
    struct {
        const HandleArray<PackageDirective>* list;
        const char* entry;
        EntryFate fate;
        const char* destination;
        int directive; // index of the deciding directive, -1 for none
    } const cases[] = {
        {&defaults, "a/b/x.PBO", EntryFate::Placed, "addons\\x.PBO", 1},
        {&defaults, "top.pbo", EntryFate::Placed, "addons\\top.pbo", 1},
        {&defaults, "docs/readme.txt", EntryFate::Placed, "addons\\readme.txt", 2},
        {&defaults, "gantry.txt", EntryFate::Ignored, "", 0},
        {&defaults, "docs/gantry.txt", EntryFate::Placed, "addons\\gantry.txt", 2},
        {&defaults, "docs/", EntryFate::Folder, "", -1},
        {&custom, "skip.pbo", EntryFate::Ignored, "", 1},
        {&custom, "sub/skip.pbo", EntryFate::Placed, "addons\\skip.pbo", 2},
        {&custom, "docs/a.txt", EntryFate::Placed, "readme.txt", 3},
        {&custom, "docs\\b.txt", EntryFate::Placed, "readme.txt", 3},
        {&custom, "res/x/y.paa", EntryFate::Placed, "res\\custom\\y.paa", 4},
        {&custom, "missions/m1/mission.sqm", EntryFate::Placed, "missions\\m1\\mission.sqm", 5},
        {&custom, "maps/a.wrp", EntryFate::Placed, "maps\\a.wrp", 6},
        {&custom, "other.txt", EntryFate::LeftOut, "", -1},
    };
    for (const auto& c : cases) {
        const EntryPlacement p = PlaceEntry(*c.list, c.entry);
        EXPECT_EQ(p.fate, c.fate) << c.entry;
        if (c.fate == EntryFate::Placed) {
            EXPECT_EQ(p.destination, c.destination) << c.entry;
        }
        if (c.directive >= 0) {
            EXPECT_EQ(p.directive, (*c.list)[c.directive]) << c.entry;
        } else if (c.fate != EntryFate::Folder) {
            EXPECT_EQ(p.directive, nullptr) << c.entry;
        }
    }
}

// --- Installs into a scanned temporary game folder ---

CFileNode* Child(CFileNode* folder, const std::string& name) {
    if (!folder)
        return nullptr;
    for (const auto& c : folder->children) {
        if (c->name.size() == name.size() &&
            std::equal(name.begin(), name.end(), c->name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return c.get();
    }
    return nullptr;
}

CFileNode* NodeAt(CFileDatabase& db, const std::string& path) {
    CFileNode* at = db.Root().get();
    size_t start = 0;
    while (at && start < path.size()) {
        size_t end = path.find('\\', start);
        std::string piece =
            end == std::string::npos ? path.substr(start) : path.substr(start, end - start + 1);
        at = Child(at, piece);
        start = end == std::string::npos ? path.size() : end + 1;
    }
    return at;
}

struct Installed {
    bool ok = false;
    uint64_t done = 0, total = 0;
    InstallReport report;
};

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetGamePath(game.Path());
        ASSERT_TRUE(db.Scan());
    }
    Installed Install(const ZipBuilder& zip, const std::string& file) {
        const std::string path = downloads / file;
        EXPECT_TRUE(zip.Write(path));
        std::atomic<uint64_t> done{99}, total{0};
        Installed r;
        r.ok = InstallPackage(db, path, done, total, nullptr, &r.report);
        r.done = done;
        r.total = total;
        return r;
    }
    CPackage& Last() { return *db.Packages().back(); }

    TempGameFolder game;
    TempGameFolder downloads;
    CFileDatabase db{String(downloads.Path())};
};

TEST_F(InstallTest, WithoutDescriptionEverythingIsFlattenedIntoAddons) {
    const ZipDate when{2003, 8, 23, 10, 20, 30};
    ZipBuilder zip;
    zip.AddFolder("pack")
        .Add("pack/deep/units.pbo", "UNITS", when)
        .Add("readme.txt", "read me", ZipDate{2001, 1, 2, 3, 4, 6})
        .Add("pack/gantry.txt", "not a description");
    const Installed r = Install(zip, "tanks.tmp");
    ASSERT_TRUE(r.ok) << r.report.error;
    EXPECT_EQ(r.total, 5u + 7u + 17u);
    EXPECT_EQ(r.done, 5u + 7u + 17u);

    EXPECT_EQ(game.List("addons"),
              (std::vector<std::string>{"gantry.txt", "readme.txt", "units.pbo"}));
    EXPECT_EQ(game.Read("addons/units.pbo"), "UNITS");
    EXPECT_FALSE(game.Exists("pack"));

    CPackage& p = Last();
    EXPECT_EQ(p.name, "tanks");
    EXPECT_EQ(p.homePage, "");
    CFileNode* units = NodeAt(db, "addons\\units.pbo");
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(units->status, NS_ACTIVE);
    EXPECT_EQ(units->diskName, "units.pbo");
    EXPECT_EQ(units->size, 5u);
    EXPECT_EQ(units->crc, Crc32Of("UNITS"));
    EXPECT_EQ(units->bindCount, 1u);
    EXPECT_GE(p.IndexOf(units), 0);
    EXPECT_EQ(units->modified, FileTimeFromCivil(2003, 8, 23, 10, 20, 30));
    EXPECT_EQ(units->modified, FileTimeFromUnix(1061634030));
    CFileNode* readme = NodeAt(db, "addons\\readme.txt");
    ASSERT_NE(readme, nullptr);
    EXPECT_EQ(readme->modified, FileTimeFromCivil(2001, 1, 2, 3, 4, 6));
    EXPECT_GE(p.IndexOf(readme), 0);
    EXPECT_GE(p.IndexOf(NodeAt(db, "addons\\gantry.txt")), 0);
}

TEST_F(InstallTest, DirectivesPlaceRenameAndIgnore) {
    ZipBuilder zip;
    zip.Add("gantry.txt", "GANTRY_START\nPACKAGE Islands\nINFOURL http://x/islands\n"
                          "IGNORE docs/skip.txt\n"
                          "INSTALL docs/* \"Island Docs/readme.txt\"\n"
                          "INSTALL *.pbo \"@Islands/addons/\"\n"
                          "INSTALLPATH missions/*\nGANTRY_END\n")
        .Add("data/island.pbo", "PBO")
        .Add("docs/skip.txt", "SKIP")
        .Add("docs/first.txt", "FIRST")
        .Add("docs/second.txt", "SECOND")
        .Add("missions/m1/mission.sqm", "SQM")
        .Add("stray.bin", "STRAY");
    const Installed r = Install(zip, "whatever.tmp");
    ASSERT_TRUE(r.ok) << r.report.error;

    EXPECT_EQ(game.Read("@Islands/addons/island.pbo"), "PBO");
    EXPECT_EQ(game.Read("Island Docs/readme.txt"), "SECOND"); // both written there, in turn
    EXPECT_EQ(game.Read("missions/m1/mission.sqm"), "SQM");
    EXPECT_FALSE(game.Exists("gantry.txt"));
    EXPECT_FALSE(game.Exists("docs"));
    EXPECT_FALSE(game.Exists("stray.bin"));
    EXPECT_FALSE(game.Exists("addons/stray.bin"));

    CPackage& p = Last();
    EXPECT_EQ(p.name, "Islands");
    EXPECT_EQ(p.homePage, "http://x/islands");
    // New folders become members, except a folder of the game's own list ("missions\\").
    for (const char* folder :
         {"@Islands\\", "@Islands\\addons\\", "Island Docs\\", "missions\\", "missions\\m1\\"}) {
        CFileNode* node = NodeAt(db, folder);
        ASSERT_NE(node, nullptr) << folder;
        EXPECT_TRUE(node->IsFolder()) << folder;
        EXPECT_EQ(node->status, NS_ACTIVE) << folder;
        EXPECT_EQ(node->bindCount, 1u) << folder;
        const bool core = std::string(folder) == "missions\\";
        EXPECT_EQ((node->flags & NF_CORE) != 0, core) << folder;
        EXPECT_EQ(p.IndexOf(node) >= 0, !core) << folder;
        EXPECT_EQ(db.CoreFiles()->IndexOf(node) >= 0, core) << folder;
    }
    CFileNode* pbo = NodeAt(db, "@Islands\\addons\\island.pbo");
    ASSERT_NE(pbo, nullptr);
    EXPECT_GE(p.IndexOf(pbo), 0);
    EXPECT_EQ(pbo->status, NS_ACTIVE);
    EXPECT_EQ(NodeAt(db, "stray.bin"), nullptr);
    // Everything counts in the total; the left-out entry never counts as done.
    const uint64_t all = r.total;
    EXPECT_EQ(r.done, all - 5u);
}

TEST_F(InstallTest, ReinstallReusesIdenticalFilesUnderANewName) {
    ZipBuilder zip;
    zip.Add("gantry.txt", "GANTRY_START\nPACKAGE Dup\nINSTALLPATH *\nGANTRY_END\n")
        .Add("mod/a.pbo", "AAAA");
    ASSERT_TRUE(Install(zip, "one.tmp").ok);
    CFileNode* a = NodeAt(db, "mod\\a.pbo");
    ASSERT_NE(a, nullptr);
    game.SetTime("mod/a.pbo", 1000000000); // a rewrite would restore the entry's time
    const FileTime before = a->modified;

    ZipBuilder lower;
    lower.Add("gantry.txt", "GANTRY_START\nPACKAGE dup\nINSTALLPATH *\nGANTRY_END\n")
        .Add("mod/a.pbo", "AAAA");
    const Installed second = Install(lower, "two.tmp");
    ASSERT_TRUE(second.ok) << second.report.error;
    EXPECT_EQ(Last().name, "dup~");
    EXPECT_EQ(second.done, second.total);
    EXPECT_EQ(a->bindCount, 2u);
    EXPECT_GE(Last().IndexOf(a), 0);
    EXPECT_EQ(a->modified, before);
    EXPECT_EQ(NodeAt(db, "mod\\")->bindCount, 2u);

    ASSERT_TRUE(Install(zip, "three.tmp").ok);
    EXPECT_EQ(Last().name, "Dup~~");
}

TEST_F(InstallTest, FileTheOfferedPackageFoundElsewhereIsBoundWhereItLies) {
    game.Write("@Mod/addons/x.pbo", "XPBO");
    ASSERT_TRUE(db.Scan());
    CFileNode* found = NodeAt(db, "@Mod\\addons\\x.pbo");
    ASSERT_NE(found, nullptr);
    CPackage offered;
    offered.members.push_back(db.Root()->Find("@Mod\\addons\\x.pbo", 4, Crc32Of("XPBO"), false));
    ASSERT_EQ(offered.members.back().get(), found);

    const std::string path = downloads / "x.tmp";
    ASSERT_TRUE(ZipBuilder().Add("X.PBO", "XPBO").Write(path));
    std::atomic<uint64_t> done{0}, total{0};
    ASSERT_TRUE(InstallPackage(db, path, done, total, &offered));
    EXPECT_FALSE(game.Exists("addons/X.PBO"));
    EXPECT_GE(Last().IndexOf(found), 0);
    EXPECT_EQ(found->status, NS_ACTIVE);
}

TEST_F(InstallTest, RejectedDescriptionChangesNothing) {
    const size_t packagesBefore = db.Packages().size();
    ZipBuilder zip;
    zip.Add("gantry.txt", "GANTRY_START\nINSTALL *.pbo\nGANTRY_END\n").Add("a.pbo", "x");
    EXPECT_FALSE(Install(zip, "bad.tmp").ok);
    EXPECT_EQ(db.Packages().size(), packagesBefore);
    EXPECT_FALSE(game.Exists("addons"));
    EXPECT_FALSE(game.Exists("a.pbo"));
}

TEST_F(InstallTest, FolderOnDiskWithoutNodeStopsTheInstallAndUndoesIt) {
    game.MakeFolder("late"); // made after the scan: the tree does not know it
    const size_t packagesBefore = db.Packages().size();
    ZipBuilder zip;
    zip.Add("gantry.txt", "GANTRY_START\nPACKAGE Late\nINSTALLPATH *\nGANTRY_END\n")
        .Add("first.txt", "1")
        .Add("late/x.txt", "2");
    const Installed r = Install(zip, "late.tmp");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(db.Packages().size(), packagesBefore);
    EXPECT_FALSE(game.Exists("first.txt"));
    EXPECT_FALSE(NodeAt(db, "first.txt"));
}

} // namespace
} // namespace quillory
