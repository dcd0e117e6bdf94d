// Scanner and file operations checked on real folders, with expectations worked out by hand.

#include "TempGameFolder.h"
#include "gantry/db/FileDatabase.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace quillory {
namespace {

using test::InstallationLayout;
using test::TempGameFolder;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

uint32_t Crc(const std::string& content) {
    return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0),
                                       reinterpret_cast<const Bytef*>(content.data()),
                                       static_cast<uInt>(content.size())));
}

std::string Hex8(uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

// Content whose CRC has a zero in its leading hex digit, so that padding shows.
std::string ContentWithLowCrc() {
    for (int i = 0;; ++i) {
        std::string content = "payload " + std::to_string(i);
        if ((Crc(content) >> 28) == 0)
            return content;
    }
}

bool Holds(const CPackage& package, const CFileNode* node) {
    return package.IndexOf(node) >= 0;
}

class IndependentScan : public ::testing::Test {
protected:
    IndependentScan() : db(String(dataFolder.Path())) { db.SetGamePath(game.Path()); }

    void ScanNow() { ASSERT_TRUE(db.Scan()); }

    // Every node whose relative path equals `rel` ("\" separators, case ignored).
    std::vector<Handle<CFileNode>> All(const std::string& rel) const {
        std::vector<Handle<CFileNode>> found;
        if (!db.Root())
            return found;
        HandleArray<CFileNode> nodes;
        db.Root()->CollectHandles(nodes);
        for (const auto& node : nodes)
            if (Lower(node->RelativePath()) == Lower(rel))
                found.push_back(node);
        return found;
    }

    Handle<CFileNode> One(const std::string& rel) const {
        auto found = All(rel);
        EXPECT_EQ(found.size(), 1u) << rel;
        return found.empty() ? nullptr : found.front();
    }

    Handle<CPackage> MakePackage(const std::string& name, const std::vector<std::string>& rels) {
        auto package = std::make_shared<CPackage>();
        package->name = name;
        for (const auto& rel : rels) {
            auto node = One(rel);
            if (!node)
                continue;
            db.UnbindFromUnknown(*node);
            package->AddMember(node);
        }
        db.AddPackage(package);
        return package;
    }

    bool Listed(const Handle<CPackage>& package) const {
        return std::find(db.Packages().begin(), db.Packages().end(), package) !=
               db.Packages().end();
    }

    TempGameFolder game;
    TempGameFolder dataFolder;
    CFileDatabase db;
};

TEST_F(IndependentScan, SortsTheInstallationIntoThePseudoPackages) {
    game.BuildInstallation();
    ScanNow();

    struct Expect {
        const char* rel;
        uint16_t flag;
        const CPackage* package;
    };
    std::vector<Expect> cases;
    for (const char* rel : InstallationLayout::kCoreFiles)
        cases.push_back({rel, NF_CORE, db.CoreFiles().get()});
    for (const char* rel : InstallationLayout::kCoreFolders)
        cases.push_back({rel, NF_CORE, db.CoreFiles().get()});
    for (const char* rel : InstallationLayout::kUnknownAddons)
        cases.push_back({rel, NF_UNKNOWN_ADDON, db.UnknownAddons().get()});
    for (const char* rel : InstallationLayout::kUnknownFiles)
        cases.push_back({rel, NF_UNKNOWN_FILE, db.UnknownFiles().get()});
    for (const char* rel : InstallationLayout::kUnknownFolders)
        cases.push_back({rel, NF_UNKNOWN_FILE, db.UnknownFiles().get()});

    for (const auto& c : cases) {
        std::string rel = c.rel;
        // Inactive names on disk stand for their active names in the tree.
        const std::string disk = rel.substr(rel.rfind('\\') + 1);
        rel = rel.substr(0, rel.size() - disk.size()) + CFileNode::ActiveNameOf(disk);
        auto node = One(rel);
        ASSERT_TRUE(node) << rel;
        EXPECT_EQ(node->flags & (NF_CORE | NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON), c.flag) << rel;
        EXPECT_EQ(node->bindCount, 1u) << rel;
        EXPECT_TRUE(Holds(*c.package, node.get())) << rel;
        if (!node->IsFolder()) {
            EXPECT_EQ(node->diskName, disk) << rel;
            EXPECT_EQ(node->status, disk == CFileNode::ActiveNameOf(disk) ? NS_ACTIVE : NS_INACTIVE)
                << rel;
        }
    }
    for (const char* rel : InstallationLayout::kLeftOut)
        EXPECT_TRUE(All(rel).empty()) << rel;
    EXPECT_TRUE(All("Users\\").empty());
    EXPECT_TRUE(All("tmp\\").empty());
    for (const char* rel : InstallationLayout::kHidden)
        EXPECT_TRUE(All(rel).empty()) << rel;
    EXPECT_TRUE(All("ADDONS\\.cache\\").empty());

    EXPECT_EQ(db.Packages().size(), 3u);
    EXPECT_EQ(db.Packages()[0]->name, "<Core files>");
    EXPECT_EQ(db.Packages()[1]->name, "<Unknown files>");
    EXPECT_EQ(db.Packages()[2]->name, "<Unknown addons>");

    EXPECT_EQ(db.AddonsFolder(), One("ADDONS\\"));
    EXPECT_EQ(db.ResAddonsFolder(), One("Res\\AddOns\\"));
    // Core folders are not mod folders; "Locked\" has no "addons\" of its own.
    ASSERT_EQ(db.ModFolders().size(), db.ModAddonFolders().size());
    std::vector<std::string> mods;
    for (size_t i = 0; i < db.ModFolders().size(); ++i) {
        mods.push_back(db.ModFolders()[i]->name);
        if (db.ModFolders()[i]->name == "@Mod\\")
            EXPECT_EQ(db.ModAddonFolders()[i], One("@Mod\\addons\\"));
        else
            EXPECT_FALSE(db.ModAddonFolders()[i]);
    }
    std::sort(mods.begin(), mods.end());
    EXPECT_EQ(mods, (std::vector<std::string>{"@Mod\\", "Locked\\"}));
    EXPECT_TRUE(db.NewNodes().empty());
}

TEST_F(IndependentScan, LeftOutPathsAreWholeTopLevelNamesInAnyCase) {
    struct Case {
        const char* rel;
        bool inTree;
    };
    const Case cases[] = {
        {"USERS\\a.txt", false},     {"Tmp\\b.txt", false},       {"mpmissionscache\\c.pbo", false},
        {"IRONVALE.CFG", false},     {"sub\\Users\\d.txt", true}, {"sub\\tmp\\e.txt", true},
        {"sub\\Ironvale.cfg", true}, {"Users2\\f.txt", true},     {"Ironvale.cfg.bak", true},
    };
    for (const auto& c : cases)
        game.Write(c.rel, c.rel);
    ScanNow();
    for (const auto& c : cases)
        EXPECT_EQ(All(c.rel).size(), c.inTree ? 1u : 0u) << c.rel;
}

TEST_F(IndependentScan, AddonPrefixDecidesBetweenTheUnknownPackages) {
    struct Case {
        const char* rel;
        uint16_t flag;
    };
    const Case cases[] = {
        {"addons\\x.pbo", NF_UNKNOWN_ADDON},
        {"RES\\ADDONS\\y.pbo", NF_UNKNOWN_ADDON},
        {"res\\addons\\deep\\z.pbo", NF_UNKNOWN_ADDON},
        {"res\\x.pbo", NF_UNKNOWN_FILE},
        {"AddOnsX\\x.pbo", NF_UNKNOWN_FILE},
        {"@Mod\\AddOns\\x.pbo", NF_UNKNOWN_FILE},
        {"res\\addonsx\\x.pbo", NF_UNKNOWN_FILE},
        {"readme.pbo", NF_UNKNOWN_FILE},
        {"res\\addons\\deep\\", NF_UNKNOWN_ADDON},
        {"AddOnsX\\", NF_UNKNOWN_FILE},
    };
    for (const auto& c : cases)
        if (std::string(c.rel).back() != '\\')
            game.Write(c.rel, c.rel);
    ScanNow();
    for (const auto& c : cases) {
        auto node = One(c.rel);
        ASSERT_TRUE(node) << c.rel;
        EXPECT_EQ(node->flags & (NF_CORE | NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON), c.flag) << c.rel;
        const auto& package = c.flag == NF_UNKNOWN_ADDON ? db.UnknownAddons() : db.UnknownFiles();
        EXPECT_TRUE(Holds(*package, node.get())) << c.rel;
        EXPECT_EQ(node->bindCount, 1u) << c.rel;
    }
    // Top-level folders that are not the game's own are mod folders.
    const auto mod = One("AddOnsX\\");
    const int at = db.IndexOfModFolder(mod.get());
    ASSERT_GE(at, 0);
    EXPECT_EQ(db.ModFolders()[static_cast<size_t>(at)], mod);
    EXPECT_EQ(db.IndexOfModFolder(One("res\\").get()), -1);
    EXPECT_EQ(db.IndexOfModFolder(One("addons\\").get()), -1);
    const int modAt = db.IndexOfModFolder(One("@Mod\\").get());
    ASSERT_GE(modAt, 0);
    EXPECT_EQ(db.ModAddonFolders()[static_cast<size_t>(modAt)], One("@Mod\\AddOns\\"));
}

TEST_F(IndependentScan, LinksToFoldersAndVanishedFoldersStayOut) {
    game.Write("real\\inside.txt", "i");
    std::error_code error;
    std::filesystem::create_directory_symlink(game / "real", game / "link", error);
    ASSERT_FALSE(error);
    ScanNow();
    EXPECT_TRUE(All("link\\").empty());
    EXPECT_TRUE(All("link\\inside.txt").empty());
    auto folder = One("real\\");
    auto inside = One("real\\inside.txt");

    game.Remove("link");
    game.Remove("real");
    ScanNow();
    EXPECT_EQ(folder->status, NS_MISSING);
    EXPECT_EQ(inside->status, NS_MISSING);
    EXPECT_FALSE(Holds(*db.UnknownFiles(), folder.get()));
    EXPECT_FALSE(Holds(*db.UnknownFiles(), inside.get()));

    // Back unchanged: the same node is found again and is active, whatever it is bound to.
    game.Write("real\\inside.txt", "i");
    ScanNow();
    EXPECT_EQ(One("real\\inside.txt"), inside);
    EXPECT_EQ(inside->status, NS_ACTIVE);
}

TEST_F(IndependentScan, RecordsContentAndReadsOnlyWhatItMust) {
    const std::vector<std::string> contents = {"",
                                               "x",
                                               std::string(1023, 'a'),
                                               std::string(1024, 'b'),
                                               std::string(1025, 'c'),
                                               std::string(4096, 'd')};
    for (size_t i = 0; i < contents.size(); ++i) {
        const std::string rel = "f" + std::to_string(i) + ".bin";
        game.Write(rel, contents[i]);
        uint32_t crc = 1;
        ASSERT_TRUE(CFileDatabase::FileCrc32(game / rel, crc));
        EXPECT_EQ(crc, Crc(contents[i])) << contents[i].size();
    }
    uint32_t crc = 0;
    EXPECT_FALSE(CFileDatabase::FileCrc32(game / "absent.bin", crc));

    std::vector<std::string> read;
    db.SetContentReadHook([&](const String& path) { read.push_back(path); });
    ScanNow();
    EXPECT_EQ(read.size(), contents.size());
    for (size_t i = 0; i < contents.size(); ++i) {
        auto node = One("f" + std::to_string(i) + ".bin");
        ASSERT_TRUE(node);
        EXPECT_EQ(node->crc, Crc(contents[i]));
        EXPECT_EQ(node->size, contents[i].size());
        EXPECT_EQ(node->mark, db.Pass());
    }

    // Unchanged files are not read again; a touched one is read once and keeps its node.
    auto touched = One("f1.bin");
    const FileTime before = touched->modified;
    game.SetTime("f1.bin", 1000000000);
    read.clear();
    ScanNow();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_NE(read[0].find("f1.bin"), std::string::npos);
    EXPECT_EQ(One("f1.bin"), touched);
    EXPECT_NE(touched->modified, before);
    // Windows file time: 100-ns units since 1601.
    EXPECT_EQ(touched->modified, (1000000000ull + 11644473600ull) * 10000000ull);
    EXPECT_EQ(touched->status, NS_ACTIVE);
}

TEST_F(IndependentScan, StatusesFollowTheDiskOnTheNextScan) {
    game.Write("AddOns\\gone.pbo", "gone");
    game.Write("AddOns\\renamed.pbo", "renamed");
    game.Write("AddOns\\changed.pbo", "old content");
    game.Write("AddOns\\grown.pbo", "small");
    game.Write("kept.txt", "kept");
    ScanNow();
    auto gone = One("AddOns\\gone.pbo");
    auto renamed = One("AddOns\\renamed.pbo");
    auto changed = One("AddOns\\changed.pbo");
    auto grown = One("AddOns\\grown.pbo");
    const size_t folderChildren = One("AddOns\\")->children.size();

    game.Remove("AddOns\\gone.pbo");
    game.Move("AddOns\\renamed.pbo", "AddOns\\renamed.pbx");
    game.Write("AddOns\\changed.pbo", "new content");
    game.SetTime("AddOns\\changed.pbo", 1000000000);
    game.Write("AddOns\\grown.pbo", "larger content");
    ScanNow();

    // Vanished: missing, out of its pseudo-package, flag kept.
    EXPECT_EQ(gone->status, NS_MISSING);
    EXPECT_EQ(gone->bindCount, 0u);
    EXPECT_FALSE(Holds(*db.UnknownAddons(), gone.get()));
    EXPECT_TRUE(gone->flags & NF_UNKNOWN_ADDON);

    // Renamed by another tool: the same node, now inactive.
    EXPECT_EQ(renamed->diskName, "renamed.pbx");
    EXPECT_EQ(renamed->status, NS_INACTIVE);
    EXPECT_EQ(renamed->bindCount, 1u);
    EXPECT_EQ(All("AddOns\\renamed.pbo").size(), 1u);

    // New content: a second node of the same name; the old one is missing.
    const std::vector<std::pair<Handle<CFileNode>, std::string>> versioned = {
        {changed, "new content"}, {grown, "larger content"}};
    for (const auto& [old, content] : versioned) {
        auto versions = All(old->RelativePath());
        ASSERT_EQ(versions.size(), 2u) << old->name;
        auto fresh = versions[0] == old ? versions[1] : versions[0];
        EXPECT_EQ(old->status, NS_MISSING);
        EXPECT_FALSE(Holds(*db.UnknownAddons(), old.get()));
        EXPECT_EQ(fresh->crc, Crc(content));
        EXPECT_EQ(fresh->status, NS_ACTIVE);
        EXPECT_TRUE(Holds(*db.UnknownAddons(), fresh.get()));
    }
    EXPECT_EQ(One("AddOns\\")->children.size(), folderChildren + 2);
    EXPECT_EQ(One("kept.txt")->status, NS_ACTIVE);
}

TEST_F(IndependentScan, DuplicateCopiesOfOneFile) {
    // Our own inactive copy beside the active one: one of the two is deleted.
    const std::string content = "same bytes";
    const std::string inactive = "x.pbo." + Hex8(Crc(content)) + ".aab";
    game.Write("AddOns\\x.pbo", content);
    game.Write("AddOns\\" + inactive, content);
    // A foreign inactive copy is left alone.
    game.Write("AddOns\\y.pbo", content);
    game.Write("AddOns\\y.pbx", content);
    ScanNow();

    auto x = One("AddOns\\x.pbo");
    ASSERT_TRUE(x);
    const auto names = game.List("AddOns");
    EXPECT_EQ(std::count(names.begin(), names.end(), "x.pbo") +
                  std::count(names.begin(), names.end(), inactive),
              1);
    EXPECT_TRUE(game.Exists("AddOns\\" + x->diskName));
    EXPECT_TRUE(game.Exists("AddOns\\y.pbo"));
    EXPECT_TRUE(game.Exists("AddOns\\y.pbx"));
    EXPECT_EQ(All("AddOns\\y.pbo").size(), 1u);
}

TEST_F(IndependentScan, TwoVersionsWithTheSameSizeAndTimeAreBothKept) {
    // Written within one tick of the clock, two versions of a file share size and time; only
    // their content tells them apart, and neither may be taken for a copy of the other.
    const std::string inactiveB = "x.pbo." + Hex8(Crc("version B")) + ".aab";
    game.Write("AddOns\\x.pbo", "version A");
    game.Write("AddOns\\" + inactiveB, "version B");
    game.SetTime("AddOns\\x.pbo", 1700000000);
    game.SetTime("AddOns\\" + inactiveB, 1700000000);
    ScanNow();

    auto versions = All("AddOns\\x.pbo");
    ASSERT_EQ(versions.size(), 2u);
    auto a = versions[0]->status == NS_ACTIVE ? versions[0] : versions[1];
    auto b = versions[0]->status == NS_ACTIVE ? versions[1] : versions[0];
    EXPECT_EQ(a->crc, Crc("version A"));
    EXPECT_EQ(b->crc, Crc("version B"));
    EXPECT_EQ(b->status, NS_INACTIVE);
    EXPECT_EQ(b->diskName, inactiveB);
    EXPECT_EQ(game.List("AddOns").size(), 2u) << "nothing is deleted";
}

TEST_F(IndependentScan, ScanTextKeepsTheLastFiftyCharacters) {
    const std::string base = game.Path();
    ASSERT_LT(base.size(), 49u);
    for (size_t length : {50u, 51u}) {
        TempGameFolder folder;
        CFileDatabase other{String(dataFolder.Path())};
        other.SetGamePath(folder.Path());
        const std::string name(length - folder.Path().size(), 'n');
        folder.Write(name, "1");
        ASSERT_TRUE(other.Scan());
        const std::string full = folder / name;
        ASSERT_EQ(full.size(), length);
        EXPECT_EQ(other.Progress().Text(), length == 50 ? full : "..." + full.substr(1)) << length;
    }
}

TEST_F(IndependentScan, SkipStopsTheWalkAndUnseenNodesCountAsMissing) {
    game.Write("AddOns\\a.pbo", "a");
    game.Write("b.txt", "b");
    ScanNow();
    auto a = One("AddOns\\a.pbo");
    auto b = One("b.txt");
    auto package = MakePackage("P", {"b.txt"});

    db.Progress().RequestCancel();
    EXPECT_TRUE(db.Scan());
    EXPECT_TRUE(db.Progress().Cancelled());
    EXPECT_FALSE(db.Progress().CancelRequested());
    EXPECT_EQ(a->status, NS_MISSING);
    EXPECT_FALSE(Holds(*db.UnknownAddons(), a.get()));
    // A real package keeps its unseen member, marked missing.
    EXPECT_EQ(b->status, NS_MISSING);
    EXPECT_TRUE(Holds(*package, b.get()));
    EXPECT_EQ(b->bindCount, 1u);
}

TEST_F(IndependentScan, PackageFilesFollowAMove) {
    const std::pair<const char*, const char*> moves[] = {
        {"AddOns\\m1.pbo", "@Mod\\addons\\m1.pbo"},
        {"@Mod\\addons\\m2.pbo", "AddOns\\m2.pbo"},
        {"AddOns\\m3.pbo", "@Mod\\addons\\M3.PBO"},
    };
    for (const auto& [from, to] : moves)
        game.Write(from, std::string("moved ") + from);
    game.Write("AddOns\\stays.pbo", "stays");
    game.Write("AddOns\\lost.pbo", "lost");
    // Already there before: not taken for the vanished file of the same name and content.
    game.Write("@Mod\\addons\\lost.pbo", "lost");
    ScanNow();
    auto first =
        MakePackage("First", {moves[0].first, moves[1].first, moves[2].first, "AddOns\\lost.pbo"});
    // A second holder of one moved file follows it too.
    auto second = MakePackage("Second", {moves[0].first});
    auto lost = One("AddOns\\lost.pbo");
    std::vector<Handle<CFileNode>> olds;
    for (const auto& move : moves)
        olds.push_back(One(move.first));

    for (const auto& [from, to] : moves)
        game.Move(from, to);
    game.Remove("AddOns\\lost.pbo");
    ScanNow();

    for (size_t i = 0; i < std::size(moves); ++i) {
        auto fresh = One(moves[i].second);
        ASSERT_TRUE(fresh);
        EXPECT_EQ(olds[i]->status, NS_MISSING);
        EXPECT_EQ(olds[i]->bindCount, 0u);
        EXPECT_TRUE(Holds(*first, fresh.get())) << moves[i].second;
        EXPECT_FALSE(Holds(*first, olds[i].get()));
        EXPECT_FALSE(Holds(*db.UnknownAddons(), fresh.get()));
        EXPECT_FALSE(Holds(*db.UnknownFiles(), fresh.get()));
        EXPECT_EQ(fresh->flags & (NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON), 0);
        EXPECT_EQ(fresh->bindCount, i == 0 ? 2u : 1u);
    }
    EXPECT_TRUE(Holds(*second, One(moves[0].second).get()));
    // Member order is kept: the moved file takes the old one's place.
    EXPECT_EQ(first->members[0], One(moves[0].second));
    EXPECT_EQ(lost->status, NS_MISSING);
    EXPECT_TRUE(Holds(*first, lost.get()));
    EXPECT_FALSE(Holds(*first, One("@Mod\\addons\\lost.pbo").get()));
    EXPECT_EQ(One("AddOns\\stays.pbo")->status, NS_ACTIVE);
    EXPECT_TRUE(db.NewNodes().empty());
}

TEST_F(IndependentScan, OneNewCopyServesOnlyTheHoldersOfOneVanishedNode) {
    game.Write("AddOns\\x.pbo", "same");
    game.Write("@A\\x.pbo", "same");
    ScanNow();
    auto first = MakePackage("First", {"AddOns\\x.pbo"});
    auto second = MakePackage("Second", {"@A\\x.pbo"});
    auto secondOld = One("@A\\x.pbo");
    game.Remove("AddOns\\x.pbo");
    game.Remove("@A\\x.pbo");
    game.Write("@B\\x.pbo", "same");
    ScanNow();

    auto fresh = One("@B\\x.pbo");
    EXPECT_TRUE(Holds(*first, fresh.get()));
    EXPECT_FALSE(Holds(*second, fresh.get()));
    EXPECT_TRUE(Holds(*second, secondOld.get()));
    EXPECT_EQ(secondOld->status, NS_MISSING);
    EXPECT_EQ(fresh->bindCount, 1u);
}

TEST_F(IndependentScan, DeactivateAndActivateRenameInPlace) {
    const std::string content = ContentWithLowCrc();
    const std::string inactive = "x.pbo." + Hex8(Crc(content)) + ".aab";
    ASSERT_EQ(inactive[6], '0');
    game.Write("AddOns\\x.pbo", content);
    game.Write("AddOns\\y.pbx", "foreign");
    game.Write("AddOns\\dir\\keep.txt", "k");
    ScanNow();
    auto x = One("AddOns\\x.pbo");
    auto y = One("AddOns\\y.pbo");
    ASSERT_TRUE(x && y);

    db.DeactivateFile(*x);
    EXPECT_EQ(x->status, NS_INACTIVE);
    EXPECT_EQ(x->diskName, inactive);
    EXPECT_EQ(game.List("AddOns"), (std::vector<std::string>{"dir", inactive, "y.pbx"}));
    db.ActivateFile(*x);
    EXPECT_EQ(x->status, NS_ACTIVE);
    EXPECT_EQ(x->diskName, "x.pbo");
    EXPECT_EQ(game.Read("AddOns\\x.pbo"), content);

    // Foreign inactive form: back to .pbo, then our own form.
    db.ActivateFile(*y);
    EXPECT_EQ(y->diskName, "y.pbo");
    EXPECT_TRUE(game.Exists("AddOns\\y.pbo"));
    db.DeactivateFile(*y);
    EXPECT_EQ(y->diskName, "y.pbo." + Hex8(Crc("foreign")) + ".aab");
    EXPECT_TRUE(game.Exists("AddOns\\" + y->diskName));

    // Wrong status or a folder: nothing happens.
    db.DeactivateFile(*y);
    EXPECT_EQ(y->status, NS_INACTIVE);
    auto dir = One("AddOns\\dir\\");
    db.DeactivateFile(*dir);
    EXPECT_EQ(dir->status, NS_ACTIVE);
    EXPECT_TRUE(dir->diskName.empty());
    EXPECT_TRUE(game.Exists("AddOns\\dir\\keep.txt"));

    // A file that vanished cannot be renamed: the node is unchanged.
    game.Remove("AddOns\\x.pbo");
    db.DeactivateFile(*x);
    EXPECT_EQ(x->status, NS_ACTIVE);
    EXPECT_EQ(x->diskName, "x.pbo");
}

TEST_F(IndependentScan, RenamesReachAFolderWhoseLetterCaseChanged) {
    game.Write("AddOns\\x.pbo", "x");
    ScanNow();
    auto x = One("AddOns\\x.pbo");
    game.Move("AddOns", "ADDONS");
    ScanNow();
    ASSERT_EQ(One("addons\\x.pbo"), x);
    EXPECT_EQ(x->status, NS_ACTIVE);

    db.DeactivateFile(*x);
    EXPECT_EQ(x->status, NS_INACTIVE);
    EXPECT_TRUE(game.Exists("ADDONS\\" + x->diskName));
    db.ActivateFile(*x);
    EXPECT_EQ(x->status, NS_ACTIVE);
    EXPECT_EQ(game.Read("ADDONS\\x.pbo"), "x");
}

TEST_F(IndependentScan, ActivatingOneVersionDeactivatesTheOther) {
    const std::string a = "version A", b = "version B!";
    const std::string bDisk = "x.pbo." + Hex8(Crc(b)) + ".aab";
    game.Write("AddOns\\x.pbo", a);
    game.Write("AddOns\\" + bDisk, b);
    ScanNow();
    auto versions = All("AddOns\\x.pbo");
    ASSERT_EQ(versions.size(), 2u);
    auto nodeA = versions[0]->crc == Crc(a) ? versions[0] : versions[1];
    auto nodeB = versions[0]->crc == Crc(a) ? versions[1] : versions[0];
    ASSERT_EQ(nodeB->status, NS_INACTIVE);

    db.ActivateFile(*nodeB);
    EXPECT_EQ(nodeB->status, NS_ACTIVE);
    EXPECT_EQ(nodeB->diskName, "x.pbo");
    EXPECT_EQ(nodeA->status, NS_INACTIVE);
    EXPECT_EQ(nodeA->diskName, "x.pbo." + Hex8(Crc(a)) + ".aab");
    EXPECT_EQ(game.Read("AddOns\\x.pbo"), b);
    EXPECT_EQ(game.Read("AddOns\\" + nodeA->diskName), a);
    EXPECT_FALSE(game.Exists("AddOns\\" + bDisk));
}

TEST_F(IndependentScan, ActivatingOntoAnUnknownFileChangesNothing) {
    const std::string b = "version B";
    const std::string bDisk = "x.pbo." + Hex8(Crc(b)) + ".aab";
    game.Write("AddOns\\" + bDisk, b);
    ScanNow();
    auto node = One("AddOns\\x.pbo");
    ASSERT_TRUE(node);
    // The name is taken whatever its letter case, as on the game's own file system.
    for (const char* taken : {"x.pbo", "X.PBO"}) {
        game.Write(std::string("AddOns\\") + taken, "not in the database");
        db.ActivateFile(*node);
        EXPECT_EQ(node->status, NS_INACTIVE) << taken;
        EXPECT_EQ(node->diskName, bDisk) << taken;
        EXPECT_EQ(game.Read(std::string("AddOns\\") + taken), "not in the database");
        EXPECT_EQ(game.Read("AddOns\\" + bDisk), b);
        EXPECT_EQ(game.List("AddOns").size(), 2u) << taken;
        game.Remove(std::string("AddOns\\") + taken);
    }
}

TEST_F(IndependentScan, PackageActivationSkipsFoldersAndRepeatsHarmlessly) {
    game.Write("@P\\a.pbo", "a");
    game.Write("@P\\b.pbo", "b");
    ScanNow();
    auto package = MakePackage("P", {"@P\\", "@P\\a.pbo", "@P\\b.pbo"});

    db.DeactivatePackage(*package);
    const auto once = game.List("@P");
    EXPECT_EQ(once, (std::vector<std::string>{"a.pbo." + Hex8(Crc("a")) + ".aab",
                                              "b.pbo." + Hex8(Crc("b")) + ".aab"}));
    db.DeactivatePackage(*package);
    EXPECT_EQ(game.List("@P"), once);
    package->ComputeStatus();
    EXPECT_EQ(package->status, PS_INACTIVE);
    EXPECT_EQ(One("@P\\")->status, NS_ACTIVE);

    db.ActivatePackage(*package);
    EXPECT_EQ(game.List("@P"), (std::vector<std::string>{"a.pbo", "b.pbo"}));
    package->ComputeStatus();
    EXPECT_EQ(package->status, PS_ACTIVE);
}

TEST_F(IndependentScan, UninstallDeletesOnlyWhatNoOtherHolderNeeds) {
    game.Write("@Own\\own.pbo", "own");
    game.Write("@Own\\sub\\deep.pbo", "deep");
    game.Write("@Own\\off.pbo", "off");
    game.Write("AddOns\\shared.pbo", "shared");
    game.Write("AddOns\\Weapons.pbo", "core");
    ScanNow();
    ASSERT_TRUE(One("AddOns\\Weapons.pbo")->flags & NF_CORE);
    auto own = MakePackage("Own", {"@Own\\", "@Own\\own.pbo", "@Own\\sub\\", "@Own\\sub\\deep.pbo",
                                   "@Own\\off.pbo", "AddOns\\shared.pbo", "AddOns\\Weapons.pbo"});
    auto other = MakePackage("Other", {"AddOns\\shared.pbo"});
    auto ownFile = One("@Own\\own.pbo");
    auto shared = One("AddOns\\shared.pbo");
    auto weapons = One("AddOns\\Weapons.pbo");
    // An inactive member goes under its name on disk.
    db.DeactivateFile(*One("@Own\\off.pbo"));
    ASSERT_FALSE(game.Exists("@Own\\off.pbo"));

    EXPECT_FALSE(db.UninstallPackage(db.CoreFiles()));
    EXPECT_FALSE(db.UninstallPackage(db.UnknownFiles()));
    EXPECT_FALSE(db.UninstallPackage(db.UnknownAddons()));
    EXPECT_TRUE(game.Exists("AddOns\\Weapons.pbo"));

    EXPECT_TRUE(db.UninstallPackage(own));
    EXPECT_FALSE(Listed(own));
    EXPECT_TRUE(Listed(other));
    EXPECT_TRUE(own->members.empty());
    EXPECT_FALSE(game.Exists("@Own"));
    EXPECT_TRUE(game.Exists("AddOns\\shared.pbo"));
    EXPECT_TRUE(game.Exists("AddOns\\Weapons.pbo"));
    EXPECT_EQ(ownFile->status, NS_MISSING);
    EXPECT_EQ(ownFile->bindCount, 0u);
    EXPECT_EQ(One("@Own\\off.pbo")->status, NS_MISSING);
    EXPECT_EQ(ownFile->flags & NF_DELETE, 0);
    EXPECT_EQ(shared->bindCount, 1u);
    EXPECT_EQ(shared->status, NS_ACTIVE);
    EXPECT_EQ(weapons->bindCount, 1u);
    EXPECT_EQ(weapons->status, NS_ACTIVE);

    db.CleanUpAfterUninstall();
    EXPECT_TRUE(All("@Own\\").empty());
    EXPECT_TRUE(All("@Own\\own.pbo").empty());
    for (const auto& mod : db.ModFolders())
        EXPECT_NE(mod->name, "@Own\\");
}

TEST_F(IndependentScan, UninstallThatCannotEmptyAFolderKeepsThePackage) {
    game.Write("@Own\\own.pbo", "own");
    game.Write("@Own\\gone.pbo", "gone");
    ScanNow();
    auto package = MakePackage("Own", {"@Own\\", "@Own\\own.pbo", "@Own\\gone.pbo"});
    game.Remove("@Own\\gone.pbo");
    ScanNow(); // gone.pbo is missing now and is not counted
    game.Write("@Own\\stranger.txt", "not in the database");

    EXPECT_FALSE(db.UninstallPackage(package));
    EXPECT_TRUE(Listed(package));
    EXPECT_EQ(package->members.size(), 3u);
    auto folder = One("@Own\\");
    auto file = One("@Own\\own.pbo");
    EXPECT_FALSE(game.Exists("@Own\\own.pbo"));
    EXPECT_TRUE(game.Exists("@Own\\stranger.txt"));
    EXPECT_EQ(file->status, NS_MISSING);
    EXPECT_EQ(file->bindCount, 1u);
    EXPECT_EQ(folder->status, NS_ACTIVE);
    EXPECT_EQ(folder->flags & NF_DELETE, 0);
    EXPECT_EQ(file->flags & NF_DELETE, 0);
}

TEST_F(IndependentScan, DissolveAndUnbindHandBackToThePseudoPackages) {
    game.Write("AddOns\\addon.pbo", "addon");
    game.Write("@M\\mod.pbo", "mod");
    game.Write("AddOns\\Weapons.pbo", "core");
    game.Write("@M\\shared.pbo", "shared");
    game.Write("@M\\gone.pbo", "gone");
    ScanNow();
    auto package = MakePackage("P", {"AddOns\\addon.pbo", "@M\\mod.pbo", "AddOns\\Weapons.pbo",
                                     "@M\\shared.pbo", "@M\\gone.pbo"});
    auto keeper = MakePackage("K", {"@M\\shared.pbo"});
    game.Remove("@M\\gone.pbo");
    ScanNow();
    auto addon = One("AddOns\\addon.pbo");
    auto mod = One("@M\\mod.pbo");
    auto weapons = One("AddOns\\Weapons.pbo");
    auto shared = One("@M\\shared.pbo");
    auto gone = One("@M\\gone.pbo");
    ASSERT_EQ(gone->status, NS_MISSING);

    // Unbinding: not for pseudo-packages nor for non-members.
    db.UnbindMember(*db.UnknownAddons(), *addon);
    db.UnbindMember(*keeper, *mod);
    EXPECT_EQ(mod->bindCount, 1u);
    db.UnbindMember(*package, *mod);
    EXPECT_FALSE(Holds(*package, mod.get()));
    EXPECT_TRUE(Holds(*db.UnknownFiles(), mod.get()));
    EXPECT_TRUE(mod->flags & NF_UNKNOWN_FILE);
    EXPECT_EQ(mod->bindCount, 1u);

    db.DissolvePackage(db.CoreFiles());
    EXPECT_TRUE(Listed(db.CoreFiles()));
    EXPECT_TRUE(Holds(*db.CoreFiles(), weapons.get()));

    db.DissolvePackage(package);
    EXPECT_FALSE(Listed(package));
    EXPECT_TRUE(Holds(*db.UnknownAddons(), addon.get()));
    EXPECT_EQ(addon->bindCount, 1u);
    EXPECT_EQ(weapons->bindCount, 1u);
    EXPECT_TRUE(Holds(*db.CoreFiles(), weapons.get()));
    EXPECT_FALSE(Holds(*db.UnknownAddons(), weapons.get()));
    // Still held elsewhere, or missing: not handed back.
    EXPECT_EQ(shared->bindCount, 1u);
    EXPECT_FALSE(Holds(*db.UnknownFiles(), shared.get()));
    EXPECT_EQ(gone->bindCount, 0u);
    EXPECT_FALSE(Holds(*db.UnknownFiles(), gone.get()));
    EXPECT_TRUE(game.Exists("AddOns\\addon.pbo"));
    EXPECT_TRUE(game.Exists("@M\\mod.pbo"));
}

class RecordingWalker final : public CDirectoryWalker {
public:
    int answer = WALK_CONTINUE;
    int failedAnswer = 7;
    std::vector<std::string> paths;
    int failures = 0;
    int OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                void*) override {
        if (code == WALK_FAILED) {
            ++failures;
            EXPECT_EQ(entry, nullptr);
            return failedAnswer;
        }
        paths.push_back(entryPath);
        return answer;
    }
};

TEST(IndependentWalk, ReportsEntriesStopsAndFailures) {
    TempGameFolder folder;
    folder.Write("a.pbo", "a");
    folder.Write("b.txt", "b");
    folder.Write(".dir\\c.pbo", "c");
    folder.Write("sub\\d.pbo", "d");

    RecordingWalker all;
    EXPECT_EQ(all.Walk(folder.Path(), nullptr), 0);
    std::sort(all.paths.begin(), all.paths.end());
    EXPECT_EQ(all.paths, (std::vector<std::string>{folder / "a.pbo", folder / "b.txt",
                                                   folder.Path() + "sub"}));

    RecordingWalker pattern;
    EXPECT_EQ(pattern.Walk(folder.Path() + "*.PBO", nullptr), 0);
    EXPECT_EQ(pattern.paths, (std::vector<std::string>{folder / "a.pbo"}));

    for (const auto& [answer, result] : {std::pair{2, 2}, std::pair{3, 0}}) {
        RecordingWalker stopping;
        stopping.answer = answer;
        EXPECT_EQ(stopping.Walk(folder.Path(), nullptr), result) << answer;
        EXPECT_EQ(stopping.paths.size(), 1u) << answer;
    }

    RecordingWalker failing;
    EXPECT_EQ(failing.Walk(folder.Path() + "absent/", nullptr), 7);
    EXPECT_EQ(failing.failures, 1);
    EXPECT_TRUE(failing.paths.empty());
}

TEST(IndependentNames, ActiveNameOf) {
    const std::pair<const char*, const char*> cases[] = {
        {"x.pbo", "x.pbo"},
        {"X.PBX", "X.pbo"},
        {"x.pbo.0012abcd.aab", "x.pbo"},
        {"x.pbo.0012abcd.AAX", "x.pbo"},
        {"readme.aab", ""},
        {".aab", ""},
        {"a.aab", ""},
        {"a.b.aab", "a"},
        {"x.pbxa", "x.pbxa"},
        {"pbx", "pbx"},
    };
    for (const auto& [disk, active] : cases)
        EXPECT_EQ(CFileNode::ActiveNameOf(disk), active) << disk;
}

TEST(IndependentNames, SizeAndCrcTexts) {
    const std::pair<uint64_t, const char*> sizes[] = {
        {0, "0 KB"},
        {1, "1 KB"},
        {1024, "1 KB"},
        {1025, "2 KB"},
        {1048576, "1,024 KB"},
        {999999999, "976,563 KB"},
        {1023999, "1,000 KB"},
        {102399999, "100,000 KB"},
        {5000000000000ull, "4,882,812,500 KB"},
    };
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(CFileNode::SizeTextOf(bytes), text) << bytes;
    CFileNode node;
    EXPECT_EQ(node.CrcText(), "00000000");
    node.crc = 0xABC;
    node.name = "x.pbo";
    EXPECT_EQ(node.CrcText(), "00000abc");
    EXPECT_EQ(node.InactiveName(), "x.pbo.00000abc.aab");
}

TEST(IndependentPackage, StatusFromFileStatesOnly) {
    struct Case {
        std::vector<uint16_t> files;
        uint32_t status;
    };
    const Case cases[] = {
        {{}, PS_ACTIVE},
        {{NS_ACTIVE, NS_ACTIVE}, PS_ACTIVE},
        {{NS_INACTIVE, NS_INACTIVE}, PS_INACTIVE},
        {{NS_ACTIVE, NS_INACTIVE}, PS_PARTIAL},
        {{NS_ACTIVE, NS_INACTIVE, NS_MISSING}, PS_PARTIAL_MISSING},
        {{NS_INACTIVE, NS_MISSING}, PS_INACTIVE_MISSING},
        {{NS_ACTIVE, NS_MISSING}, PS_MISSING},
        {{NS_MISSING, NS_MISSING}, PS_NO_FILES},
    };
    for (const auto& c : cases) {
        CPackage package;
        auto folder = std::make_shared<CFileNode>();
        folder->flags = NF_FOLDER;
        folder->status = NS_MISSING; // folders never count
        package.AddMember(folder);
        uint64_t total = 0;
        for (size_t i = 0; i < c.files.size(); ++i) {
            auto file = std::make_shared<CFileNode>();
            file->status = c.files[i];
            file->size = 0xF0000000u;
            total += file->size;
            package.AddMember(file);
            if (i == 0)
                file->bindCount = 2;
        }
        package.ComputeStatus();
        EXPECT_EQ(package.status, c.status) << c.files.size();
        EXPECT_EQ(package.fileCount, c.files.size());
        EXPECT_EQ(package.folderCount, 1u);
        EXPECT_EQ(package.totalSize, total);
        EXPECT_EQ(package.sharedCount, c.files.empty() ? 0u : 1u);
    }
}

TEST(IndependentTree, FindAndPrune) {
    auto root = std::make_shared<CFileNode>();
    root->name = "G:\\";
    root->flags = NF_FOLDER;
    root->bindCount = ROOT_BIND_COUNT;
    auto a1 = root->AddChild("a\\", NF_FOLDER);
    auto a2 = root->AddChild("A\\", NF_FOLDER);
    auto deep = a2->AddChild("b\\", NF_FOLDER)->AddChild("c", 0);
    auto v1 = a1->AddChild("x.pbo", 0);
    v1->size = 1;
    v1->crc = 7;
    auto v2 = a1->AddChild("X.PBO", 0);
    v2->size = 1;
    v2->crc = 8;
    EXPECT_EQ(root->Find("a\\", 99, 99, false), a1);
    EXPECT_EQ(root->Find("a\\x.pbo", 1, 8, false), v2);
    EXPECT_EQ(root->Find("A\\X.pbo", 1, 7, false), v1);
    EXPECT_FALSE(root->Find("a\\b\\c", 0, 0, false)); // only the first "a\\" is tried
    v2->status = NS_MISSING;
    EXPECT_FALSE(root->Find("a\\x.pbo", 1, 8, false));
    EXPECT_EQ(root->Find("a\\x.pbo", 1, 8, true), v2);
    EXPECT_EQ(root->FindNearby("x.pbo", 1, 7), v1);
    EXPECT_EQ(root->AbsolutePath(), "G:\\");
    EXPECT_EQ(deep->AbsolutePath(), "G:\\A\\b\\c");
    EXPECT_EQ(deep->RelativePath(), "A\\b\\c");
    EXPECT_EQ(deep->RelativeFolderPath(), "A\\b\\");
    EXPECT_EQ(deep->FolderPath(), "G:\\A\\b\\");

    a1->bindCount = 1; // an empty-but-held folder stays; its unheld files go
    deep->bindCount = 0;
    EXPECT_TRUE(root->Prune());
    ASSERT_EQ(root->children.size(), 1u);
    EXPECT_EQ(root->children[0], a1);
    EXPECT_TRUE(a1->children.empty());
}

} // namespace
} // namespace quillory
