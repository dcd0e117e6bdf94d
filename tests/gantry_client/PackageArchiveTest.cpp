#include "gantry/client/PackageArchive.h"
#include "gantry/client/EntryPlacement.h"
#include "gantry/client/Wildcard.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <tuple>

namespace quillory {
namespace {

using test::ScratchFolder;
using test::ZipBuilder;
using namespace std::string_literals;
using K = DirectiveKind;
using Directive = std::tuple<DirectiveKind, String, String>;

std::vector<Directive> Flatten(const HandleArray<PackageDirective>& directives) {
    std::vector<Directive> flat;
    for (const auto& d : directives)
        flat.emplace_back(d->kind, d->pattern, d->target);
    return flat;
}

const Directive kIgnoreDescription{K::Ignore, "gantry.txt", ""};

class PackageArchiveTest : public ::testing::Test {
protected:
    // An archive holding the description and one ordinary file.
    String ArchiveWith(const std::string& description, const std::string& file = "pack.zip") {
        String path = dir_ / file;
        EXPECT_TRUE(ZipBuilder()
                        .Add("gantry.txt", description)
                        .Add("addons/x.pbo", "pbo bytes")
                        .Write(path));
        return path;
    }

    ScratchFolder dir_;
};

struct DescriptionCase {
    const char* what;
    std::string text;
    bool accepted;
    String name; // expected package name when accepted
    std::vector<Directive> directives;
};

TEST_F(PackageArchiveTest, DescriptionsAreReadOrRejected) {
    const std::vector<DescriptionCase> cases = {
        {"the documented example",
         "Any words here are ignored.\nGANTRY_START\nPACKAGE IslandPack\nINSTALL *.pbo addons/\n"
         "EXTRACTPATH missions\\*\nIGNORE readme.txt\nGANTRY_END\n",
         true,
         "IslandPack",
         {kIgnoreDescription,
          {K::Install, "*.pbo", "addons\\"},
          {K::ExtractPath, "missions\\*", ""},
          {K::Ignore, "readme.txt", ""}}},
        {"markers in any case inside words",
         "xxgantry_startyy\r\nInstallPath maps/*\r\nzzGantry_End\n",
         true,
         "pack",
         {kIgnoreDescription, {K::InstallPath, "maps\\*", ""}}},
        {"an empty block adds no defaults",
         "GANTRY_START\nGANTRY_END",
         true,
         "pack",
         {kIgnoreDescription}},
        {"unknown words and plural keywords are skipped, keywords match in any case",
         "GANTRY_START\nhello world\npackages Wrong\npackage Right\n\n  \t\nignore "
         "*.txt\nGANTRY_END",
         true,
         "Right",
         {kIgnoreDescription, {K::Ignore, "*.txt", ""}}},
        {"a quoted name keeps its spaces, the second PACKAGE wins",
         "GANTRY_START\nPACKAGE First\nPACKAGE \"Island  Pack\" extra words\nGANTRY_END",
         true,
         "Island  Pack",
         {kIgnoreDescription}},
        {"an unclosed quote runs to the end of the line with its line break",
         "GANTRY_START\nPACKAGE \"Open\r\nGANTRY_END",
         true,
         "Open\r\n",
         {kIgnoreDescription}},
        {"slashes in directive arguments become backslashes",
         "GANTRY_START\nEXTRACT data/*.bin res/data/\nINFOURL http://a.b/c/\nGANTRY_END",
         true,
         "pack",
         {kIgnoreDescription, {K::Extract, "data\\*.bin", "res\\data\\"}}},
        {"an INSTALL line with only a pattern",
         "GANTRY_START\nINSTALL *.pbo\nGANTRY_END",
         false,
         "",
         {}},
        {"a PACKAGE line with an empty pair of quotes",
         "GANTRY_START\nPACKAGE \"\"\nGANTRY_END",
         false,
         "",
         {}},
        {"a start marker without an end marker", "GANTRY_START\nPACKAGE X\n", false, "", {}},
        {"the only end marker stands before the start marker",
         "GANTRY_END\nGANTRY_START\nPACKAGE X\n",
         false,
         "",
         {}},
        {"markers run together", "GANTRY_STARTGANTRY_END", false, "", {}},
        {"a zero byte ends the text",
         "GANTRY_START\nPACKAGE Nice\0Evil\nGANTRY_END"s,
         false,
         "",
         {}},
    };
    for (const DescriptionCase& c : cases) {
        SCOPED_TRACE(c.what);
        PackageArchive archive(ArchiveWith(c.text));
        ASSERT_EQ(archive.Parse(), c.accepted);
        if (!c.accepted)
            continue;
        EXPECT_TRUE(archive.HasDescription());
        EXPECT_EQ(archive.PackageName(), c.name);
        EXPECT_EQ(Flatten(archive.Directives()), c.directives);
    }
}

TEST_F(PackageArchiveTest, InfoUrlIsKeptAsWritten) {
    PackageArchive archive(ArchiveWith("GANTRY_START\nINFOURL http://x.org/a/b\nGANTRY_END"));
    ASSERT_TRUE(archive.Parse());
    EXPECT_EQ(archive.InfoUrl(), "http://x.org/a/b");
}

TEST_F(PackageArchiveTest, WithoutDescriptionTheDefaultsApply) {
    const std::vector<Directive> defaults = {
        kIgnoreDescription, {K::Install, "*.pbo", "addons\\"}, {K::Extract, "*", "addons\\"}};

    String bare = dir_ / "islands.tmp";
    ASSERT_TRUE(ZipBuilder().Add("x.pbo", "a").Write(bare));
    PackageArchive plain(bare);
    ASSERT_TRUE(plain.Parse());
    EXPECT_FALSE(plain.HasDescription());
    EXPECT_EQ(plain.PackageName(), "islands");
    EXPECT_EQ(Flatten(plain.Directives()), defaults);

    // A description inside a folder is an ordinary entry; free text without markers is none.
    String nested = dir_ / "nested.zip";
    ASSERT_TRUE(ZipBuilder()
                    .AddFolder("sub")
                    .Add("sub/gantry.txt", "GANTRY_START\nPACKAGE Inner\nGANTRY_END")
                    .Write(nested));
    PackageArchive inner(nested);
    ASSERT_TRUE(inner.Parse());
    EXPECT_FALSE(inner.HasDescription());
    EXPECT_EQ(inner.PackageName(), "nested");
    EXPECT_EQ(Flatten(inner.Directives()), defaults);

    PackageArchive unmarked(ArchiveWith("just a readme, PACKAGE Foo", "GANTRY.TXT.zip"));
    ASSERT_TRUE(unmarked.Parse());
    EXPECT_FALSE(unmarked.HasDescription());
    EXPECT_EQ(unmarked.PackageName(), "GANTRY.TXT");
    EXPECT_EQ(Flatten(unmarked.Directives()), defaults);
}

TEST_F(PackageArchiveTest, NameFromPath) {
    EXPECT_EQ(PackageArchive::NameFromPath("C:\\games\\islands.tmp"), "islands");
    EXPECT_EQ(PackageArchive::NameFromPath("/tmp/.tmp"), ".tmp");
    EXPECT_EQ(PackageArchive::NameFromPath("a.b.c"), "a.b");
    EXPECT_EQ(PackageArchive::NameFromPath("dir/noext/"), "noext");
    EXPECT_EQ(PackageArchive::NameFromPath(""), "");
}

TEST_F(PackageArchiveTest, DamagedArchivesAreRejected) {
    String notZip = dir_ / "junk.zip";
    ASSERT_TRUE(test::WriteFileBytes(notZip, "PK\x03\x04 not really a zip"));
    EXPECT_FALSE(PackageArchive(notZip).Parse());

    EXPECT_FALSE(PackageArchive(dir_ / "absent.zip").Parse());

    String empty = dir_ / "empty.zip";
    ASSERT_TRUE(ZipBuilder().Write(empty));
    EXPECT_FALSE(PackageArchive(empty).Parse());

    String badCrc = dir_ / "badcrc.zip";
    std::string text = "GANTRY_START\nPACKAGE X\nGANTRY_END";
    ASSERT_TRUE(ZipBuilder().AddWithCrc("gantry.txt", text, test::Crc32Of(text) ^ 1).Write(badCrc));
    EXPECT_FALSE(PackageArchive(badCrc).Parse());
}

TEST_F(PackageArchiveTest, OversizedDescriptionIsRejected) {
    std::string big = "GANTRY_START\nPACKAGE Big\nGANTRY_END\n";
    big.resize(PackageArchive::kMaxDescriptionSize + 1, ' ');
    EXPECT_FALSE(PackageArchive(ArchiveWith(big)).Parse());

    std::string fits = big.substr(0, PackageArchive::kMaxDescriptionSize);
    PackageArchive archive(ArchiveWith(fits));
    ASSERT_TRUE(archive.Parse());
    EXPECT_EQ(archive.PackageName(), "Big");
}

struct EscapeCase {
    const char* what;
    std::string description; // empty: no description
    std::string entry;
    bool accepted;
};

TEST_F(PackageArchiveTest, DestinationsOutsideTheGameFolderRejectTheArchive) {
    const std::vector<EscapeCase> cases = {
        {"a parent folder in the target", "INSTALL *.pbo ..\\outside\\", "a.pbo", false},
        {"a renaming target that climbs", "INSTALL *.pbo addons/../../x.pbo", "a.pbo", false},
        {"a drive in the target", "EXTRACT * C:\\Windows\\", "a.pbo", false},
        {"a drive-relative target", "EXTRACT * c:addons\\", "a.pbo", false},
        {"an absolute target", "EXTRACT * /etc/", "a.pbo", false},
        {"a network target", "EXTRACT * \\\\host\\share\\", "a.pbo", false},
        {"an entry path that climbs", "INSTALLPATH *", "../../evil.pbo", false},
        {"an entry path that climbs in the middle", "EXTRACTPATH *", "a/../../evil.pbo", false},
        {"an absolute entry path", "INSTALLPATH *", "/etc/evil", false},
        {"an entry path of dots only", "INSTALLPATH *", "a/.../b", false},
        {"an entry whose file name is ..", "INSTALL * addons\\", "x/..", false},
        {"a climbing entry that is ignored first", "IGNORE ..*\nINSTALLPATH *", "../x.pbo", true},
        {"a climbing entry that no directive matches", "INSTALLPATH *.pbo", "../x.txt", true},
        {"a climbing entry flattened by the defaults", "", "../../x.pbo", true},
        {"a plain path", "INSTALLPATH *", "addons/dir/x.pbo", true},
    };
    for (const EscapeCase& c : cases) {
        SCOPED_TRACE(c.what);
        ZipBuilder zip;
        if (!c.description.empty())
            zip.Add("gantry.txt", "GANTRY_START\n" + c.description + "\nGANTRY_END");
        zip.Add(c.entry, "bytes");
        String path = dir_ / "escape.zip";
        ASSERT_TRUE(zip.Write(path));
        EXPECT_EQ(PackageArchive(path).Parse(), c.accepted);
    }
}

TEST(WildcardTest, MatchesWholePathsIgnoringCase) {
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        {"addons\\x.PBO", "*.pbo", true},
        {"x", "?", true},
        {"", "?", false},
        {"", "*", true},
        {"a\\b\\c", "*", true},
        {"", "", true},
        {"a", "", false},
        {"missions\\m1\\x.sqm", "missions\\*", true},
        {"missions", "missions\\*", false},
        {"abc", "a*c", true},
        {"abcbc", "a*bc", true},
        {"abcd", "a*c", false},
        {"ab", "a?b", false},
        {"readme.txt", "README.TXT", true},
        {"x.pbo.bak", "*.pbo", false},
        {"aXbXc", "*x*x*", true},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*c", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchWildcard(c.text, c.pattern), c.match) << c.text << " ~ " << c.pattern;
}

TEST(EntryPlacementTest, FirstMatchingDirectiveDecides) {
    auto make = [](K kind, String pattern, String target = {}) {
        return std::make_shared<PackageDirective>(PackageDirective{kind, pattern, target});
    };
    const HandleArray<PackageDirective> directives = {
        make(K::Ignore, "gantry.txt"),
        make(K::Install, "*.pbo", "addons\\"),
        make(K::Install, "docs\\readme.txt", "readme-island.txt"),
        make(K::InstallPath, "missions\\*"),
        make(K::Extract, "*.bin", "res\\\\data\\"),
    };
    struct Case {
        const char* entry;
        EntryFate fate;
        const char* destination;
    };
    const Case cases[] = {
        {"gantry.txt", EntryFate::Ignored, ""},
        {"deep/dir/x.pbo", EntryFate::Placed, "addons\\x.pbo"},
        {"docs/readme.txt", EntryFate::Placed, "readme-island.txt"},
        {"missions/m1/mission.sqm", EntryFate::Placed, "missions\\m1\\mission.sqm"},
        {"a/b.bin", EntryFate::Placed, "res\\data\\b.bin"},
        {"missions/", EntryFate::Folder, ""},
        {"other.txt", EntryFate::LeftOut, ""},
        {"missions/../../up.sqm", EntryFate::Refused, ""},
    };
    for (const Case& c : cases) {
        EntryPlacement placement = PlaceEntry(directives, c.entry);
        EXPECT_EQ(placement.fate, c.fate) << c.entry;
        EXPECT_EQ(placement.destination, c.destination) << c.entry;
    }
}

} // namespace
} // namespace quillory
