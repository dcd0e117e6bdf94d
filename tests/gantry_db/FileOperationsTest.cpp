#include "gantry/db/FileDatabase.h"

#include "tests/gantry_db/ScannedTree.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillory;
using namespace quillory::test;

namespace {

class FileOperationsTest : public ::testing::Test {
protected:
    void SetUp() override { db.SetGamePath(game.Path()); }

    void Scan() { ASSERT_TRUE(db.Scan()); }

    Handle<CFileNode> Node(std::string_view rel) {
        Handle<CFileNode> node = NodeAt(db, rel);
        EXPECT_TRUE(node) << rel;
        return node;
    }

    // A real package holding the nodes at `paths`, taken over from the pseudo-packages.
    Handle<CPackage> MakePackage(const char* name, std::initializer_list<const char*> paths) {
        auto package = std::make_shared<CPackage>();
        package->name = name;
        for (const char* path : paths) {
            Handle<CFileNode> node = Node(path);
            if (!node)
                continue;
            package->AddMember(node);
            db.UnbindFromUnknown(*node);
        }
        db.AddPackage(package);
        return package;
    }

    bool Listed(const Handle<CPackage>& package) const {
        return std::find(db.Packages().begin(), db.Packages().end(), package) !=
               db.Packages().end();
    }

    TempGameFolder game;
    CFileDatabase db;
};

} // namespace

TEST_F(FileOperationsTest, DeactivateAndActivateRenameInPlace) {
    game.Write("AddOns/x.pbo", "x");
    Scan();
    auto node = Node("AddOns\\x.pbo");
    node->crc = 0x00c0ffee; // leading zeros stay in the name

    db.DeactivateFile(*node);
    EXPECT_EQ(node->status, NS_INACTIVE);
    EXPECT_EQ(node->diskName, "x.pbo.00c0ffee.aab");
    EXPECT_EQ(game.List("AddOns"), std::vector<std::string>{"x.pbo.00c0ffee.aab"});

    db.DeactivateFile(*node); // already inactive: nothing happens
    EXPECT_EQ(node->diskName, "x.pbo.00c0ffee.aab");

    db.ActivateFile(*node);
    EXPECT_EQ(node->status, NS_ACTIVE);
    EXPECT_EQ(node->diskName, "x.pbo");
    EXPECT_EQ(game.List("AddOns"), std::vector<std::string>{"x.pbo"});
    EXPECT_EQ(game.Read("AddOns/x.pbo"), "x");
}

TEST_F(FileOperationsTest, AForeignInactiveNameComesBackAsAab) {
    game.Write("AddOns/x.pbx", "pbx content");
    Scan();
    auto node = Node("AddOns\\x.pbo");
    ASSERT_EQ(node->status, NS_INACTIVE);
    db.ActivateFile(*node);
    EXPECT_EQ(game.List("AddOns"), std::vector<std::string>{"x.pbo"});
    db.DeactivateFile(*node);
    EXPECT_EQ(game.List("AddOns"),
              std::vector<std::string>{InactiveNameFor("x.pbo", "pbx content")});
}

TEST_F(FileOperationsTest, ActivatingOneVersionStepsTheOtherAside) {
    // The active version's name differs in letter case: still the same name on Windows.
    struct Case {
        const char* activeName;
    } cases[] = {{"x.pbo"}, {"X.PBO"}};
    for (const Case& c : cases) {
        TempGameFolder folder;
        CFileDatabase fresh;
        fresh.SetGamePath(folder.Path());
        const std::string inactiveB = InactiveNameFor("x.pbo", "version B");
        folder.Write(std::string("AddOns/") + c.activeName, "version A");
        folder.Write("AddOns/" + inactiveB, "version B");
        ASSERT_TRUE(fresh.Scan());
        auto versions = NodesAt(fresh, "AddOns\\x.pbo");
        ASSERT_EQ(versions.size(), 2u) << c.activeName;
        auto a = versions[0]->status == NS_ACTIVE ? versions[0] : versions[1];
        auto b = versions[0]->status == NS_ACTIVE ? versions[1] : versions[0];

        fresh.ActivateFile(*b);
        EXPECT_EQ(b->status, NS_ACTIVE) << c.activeName;
        EXPECT_EQ(b->diskName, "x.pbo") << c.activeName;
        EXPECT_EQ(a->status, NS_INACTIVE) << c.activeName;
        const std::string inactiveA = InactiveNameFor(c.activeName, "version A");
        EXPECT_EQ(a->diskName, inactiveA);
        EXPECT_EQ(folder.Read("AddOns/x.pbo"), "version B") << c.activeName;
        EXPECT_EQ(folder.Read("AddOns/" + inactiveA), "version A") << c.activeName;
        EXPECT_EQ(folder.List("AddOns").size(), 2u) << c.activeName;
    }
}

TEST_F(FileOperationsTest, ANameTakenByAnUnknownFileBlocksActivation) {
    const std::string inactiveB = InactiveNameFor("x.pbo", "version B");
    game.Write("AddOns/" + inactiveB, "version B");
    Scan();
    auto b = Node("AddOns\\x.pbo");
    game.Write("AddOns/X.pbo", "not in the database");
    db.ActivateFile(*b);
    EXPECT_EQ(b->status, NS_INACTIVE);
    EXPECT_EQ(b->diskName, inactiveB);
    EXPECT_EQ(game.Read("AddOns/X.pbo"), "not in the database");
}

TEST_F(FileOperationsTest, AnUnknownHolderOfTheNameKeepsTheKnownVersionActive) {
    const std::string inactiveB = InactiveNameFor("x.pbo", "version B");
    game.Write("AddOns/X.PBO", "version A");
    game.Write("AddOns/" + inactiveB, "version B");
    Scan();
    auto a = Node("AddOns\\X.PBO");
    auto versions = NodesAt(db, "AddOns\\x.pbo");
    ASSERT_EQ(versions.size(), 2u);
    auto b = versions[0] == a ? versions[1] : versions[0];
    // A third file, unknown to the database, holds the name in yet another case: stepping the
    // known version aside would not free the name.
    game.Write("AddOns/x.PBO", "unknown");

    db.ActivateFile(*b);
    EXPECT_EQ(b->status, NS_INACTIVE);
    EXPECT_EQ(a->status, NS_ACTIVE);
    EXPECT_EQ(a->diskName, "X.PBO");
    EXPECT_EQ(game.Read("AddOns/X.PBO"), "version A");
    EXPECT_EQ(game.List("AddOns").size(), 3u);
}

TEST_F(FileOperationsTest, PackagesActivateAndDeactivateTheirFiles) {
    game.Write("@Tanks/addons/t1.pbo", "t1");
    game.Write("@Tanks/addons/t2.pbo", "t2");
    Scan();
    auto package =
        MakePackage("Tanks", {"@Tanks\\", "@Tanks\\addons\\t1.pbo", "@Tanks\\addons\\t2.pbo"});
    db.DeactivatePackage(*package);
    const auto inactive = game.List("@Tanks/addons");
    EXPECT_EQ(inactive, (std::vector<std::string>{InactiveNameFor("t1.pbo", "t1"),
                                                  InactiveNameFor("t2.pbo", "t2")}));
    EXPECT_EQ(package->members[0]->status, NS_ACTIVE) << "folders are left alone";
    db.DeactivatePackage(*package);
    EXPECT_EQ(game.List("@Tanks/addons"), inactive) << "a second time changes nothing";
    package->ComputeStatus();
    EXPECT_EQ(package->status, PS_INACTIVE);

    db.ActivatePackage(*package);
    EXPECT_EQ(game.List("@Tanks/addons"), (std::vector<std::string>{"t1.pbo", "t2.pbo"}));
    package->ComputeStatus();
    EXPECT_EQ(package->status, PS_ACTIVE);
}

TEST_F(FileOperationsTest, UninstallDeletesOnlyWhatNobodyElseHolds) {
    game.Write("AddOns/tank.pbo", "tank");
    game.Write("AddOns/shared.pbo", "shared");
    game.Write("AddOns/Weapons.pbo", "a core file");
    Scan();
    auto tanks =
        MakePackage("Tanks", {"AddOns\\tank.pbo", "AddOns\\shared.pbo", "AddOns\\Weapons.pbo"});
    auto other = MakePackage("Other", {"AddOns\\shared.pbo"});
    auto tank = Node("AddOns\\tank.pbo");

    EXPECT_TRUE(db.UninstallPackage(tanks));
    EXPECT_FALSE(Listed(tanks));
    EXPECT_FALSE(game.Exists("AddOns/tank.pbo"));
    EXPECT_TRUE(game.Exists("AddOns/shared.pbo"));
    EXPECT_TRUE(game.Exists("AddOns/Weapons.pbo"));
    EXPECT_EQ(tank->status, NS_MISSING);
    EXPECT_EQ(tank->bindCount, 0u);
    EXPECT_EQ(Node("AddOns\\shared.pbo")->bindCount, 1u);
    EXPECT_EQ(Node("AddOns\\Weapons.pbo")->bindCount, 1u);
    EXPECT_EQ(db.CoreFiles()->IndexOf(Node("AddOns\\Weapons.pbo").get()) >= 0, true);

    db.CleanUpAfterUninstall();
    EXPECT_FALSE(NodeAt(db, "AddOns\\tank.pbo")) << "pruned";
    EXPECT_TRUE(NodeAt(db, "AddOns\\shared.pbo"));
    EXPECT_EQ(db.AddonsFolder(), NodeAt(db, "AddOns\\"));
}

TEST_F(FileOperationsTest, UninstallRemovesFoldersItEmptied) {
    game.Write("@Tanks/addons/t.pbo", "t");
    game.Write("@Other/o.pbo", "o");
    Scan();
    auto package = MakePackage("Tanks", {"@Tanks\\", "@Tanks\\addons\\", "@Tanks\\addons\\t.pbo"});
    EXPECT_TRUE(db.UninstallPackage(package));
    EXPECT_FALSE(game.Exists("@Tanks"));
    db.CleanUpAfterUninstall();
    ASSERT_EQ(db.ModFolders().size(), 1u);
    EXPECT_EQ(db.ModFolders()[0]->name, "@Other\\");
    EXPECT_FALSE(NodeAt(db, "@Tanks\\"));
}

TEST_F(FileOperationsTest, AFolderThatIsNotEmptySurvivesAndThePackageStays) {
    game.Write("@Tanks/addons/t.pbo", "t");
    game.Write("@Tanks/addons/notes.txt", "someone else's");
    Scan();
    auto package = MakePackage("Tanks", {"@Tanks\\", "@Tanks\\addons\\", "@Tanks\\addons\\t.pbo"});
    EXPECT_FALSE(db.UninstallPackage(package));
    EXPECT_TRUE(Listed(package));
    EXPECT_EQ(package->members.size(), 3u);
    EXPECT_FALSE(game.Exists("@Tanks/addons/t.pbo"));
    EXPECT_TRUE(game.Exists("@Tanks/addons/notes.txt"));
    EXPECT_EQ(Node("@Tanks\\addons\\t.pbo")->status, NS_MISSING);
    EXPECT_EQ(Node("@Tanks\\addons\\")->status, NS_ACTIVE);
    package->ComputeStatus();
    EXPECT_EQ(package->status, PS_NO_FILES);
}

TEST_F(FileOperationsTest, UninstallLeavesPseudoPackagesAndSharedFilesAlone) {
    game.Write("AddOns/Weapons.pbo", "core");
    game.Write("AddOns/a.pbo", "a");
    Scan();
    MakePackage("Owner", {"AddOns\\a.pbo"});
    auto sharer = MakePackage("Sharer", {"AddOns\\a.pbo", "AddOns\\Weapons.pbo"});
    for (const auto& pseudo : {db.CoreFiles(), db.UnknownFiles(), db.UnknownAddons()})
        EXPECT_FALSE(db.UninstallPackage(pseudo)) << pseudo->name;
    EXPECT_TRUE(db.UninstallPackage(sharer));
    EXPECT_TRUE(game.Exists("AddOns/a.pbo"));
    EXPECT_TRUE(game.Exists("AddOns/Weapons.pbo"));
    EXPECT_EQ(db.Packages().size(), 4u);
}

TEST_F(FileOperationsTest, OnlyTheUninstalledPackageIsDeleted) {
    game.Write("AddOns/a.pbo", "a");
    game.Write("notes.txt", "keep");
    Scan();
    auto package = MakePackage("A", {"AddOns\\a.pbo"});
    // A mark left in a database file must not delete someone else's file.
    Node("notes.txt")->flags |= NF_DELETE;
    EXPECT_TRUE(db.UninstallPackage(package));
    EXPECT_TRUE(game.Exists("notes.txt"));
    EXPECT_FALSE(game.Exists("AddOns/a.pbo"));
}

TEST_F(FileOperationsTest, NamesFromADatabaseFileCannotReachOutside) {
    game.Write("victim.txt", "outside the game folder");
    game.Write("Game/AddOns/a.pbo", "a");
    db.SetGamePath(game.Path() + "Game/");
    Scan();
    // A node "..\" as a crafted database file could hold it.
    auto up = db.Root()->AddChild("..\\", NF_FOLDER);
    auto victim = up->AddChild("victim.txt", 0);
    victim->diskName = "victim.txt";
    auto package = std::make_shared<CPackage>();
    package->name = "Evil";
    package->AddMember(victim);
    db.AddPackage(package);

    EXPECT_FALSE(db.UninstallPackage(package));
    db.DeactivateFile(*victim);
    EXPECT_EQ(game.Read("victim.txt"), "outside the game folder");
    EXPECT_EQ(victim->status, NS_ACTIVE);
}

TEST_F(FileOperationsTest, DissolveHandsFilesBackToThePseudoPackages) {
    game.Write("AddOns/a.pbo", "a");
    game.Write("AddOns/Weapons.pbo", "core");
    game.Write("Docs/readme.txt", "r");
    game.Write("AddOns/gone.pbo", "gone");
    Scan();
    auto package = MakePackage(
        "P", {"AddOns\\a.pbo", "AddOns\\Weapons.pbo", "Docs\\readme.txt", "AddOns\\gone.pbo"});
    game.Remove("AddOns/gone.pbo");
    Scan();
    // A flag that holds nothing, as a database file may carry it.
    Node("Docs\\readme.txt")->flags |= NF_UNKNOWN_ADDON;

    for (const auto& pseudo : {db.CoreFiles(), db.UnknownFiles(), db.UnknownAddons()}) {
        const size_t members = pseudo->members.size();
        db.DissolvePackage(pseudo);
        EXPECT_EQ(pseudo->members.size(), members);
    }
    db.DissolvePackage(package);
    EXPECT_FALSE(Listed(package));
    auto a = Node("AddOns\\a.pbo");
    EXPECT_GE(db.UnknownAddons()->IndexOf(a.get()), 0);
    EXPECT_EQ(a->bindCount, 1u);
    auto core = Node("AddOns\\Weapons.pbo");
    EXPECT_EQ(core->bindCount, 1u) << "still held by <Core files> alone";
    auto readme = Node("Docs\\readme.txt");
    EXPECT_GE(db.UnknownFiles()->IndexOf(readme.get()), 0);
    EXPECT_EQ(readme->flags & (NF_UNKNOWN_ADDON | NF_UNKNOWN_FILE), NF_UNKNOWN_FILE);
    auto gone = Node("AddOns\\gone.pbo");
    EXPECT_EQ(gone->bindCount, 0u) << "a missing file is not handed back";
    EXPECT_TRUE(game.Exists("AddOns/a.pbo"));
}

TEST_F(FileOperationsTest, UnbindMember) {
    game.Write("AddOns/a.pbo", "a");
    game.Write("AddOns/b.pbo", "b");
    Scan();
    auto first = MakePackage("First", {"AddOns\\a.pbo", "AddOns\\b.pbo"});
    auto second = MakePackage("Second", {"AddOns\\b.pbo"});
    auto a = Node("AddOns\\a.pbo");
    auto b = Node("AddOns\\b.pbo");

    db.UnbindMember(*second, *a); // not a member
    db.UnbindMember(*db.UnknownAddons(), *a);
    EXPECT_EQ(a->bindCount, 1u);

    db.UnbindMember(*first, *b);
    EXPECT_EQ(first->IndexOf(b.get()), -1);
    EXPECT_EQ(b->bindCount, 1u) << "still held by Second, so no pseudo-package takes it";
    EXPECT_EQ(db.UnknownAddons()->IndexOf(b.get()), -1);

    db.UnbindMember(*first, *a);
    EXPECT_EQ(a->bindCount, 1u);
    EXPECT_GE(db.UnknownAddons()->IndexOf(a.get()), 0);
}
