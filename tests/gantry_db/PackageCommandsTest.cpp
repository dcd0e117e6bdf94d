#include "gantry/db/PackageCommands.h"

#include "tests/gantry_db/ScannedTree.h"
#include "tests/support/ScopedUnprivileged.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillory;
using namespace quillory::test;

namespace {

class PackageCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { db.SetGamePath(game.Path()); }

    void Scan() { ASSERT_TRUE(db.Scan()); }

    Handle<CFileNode> Node(std::string_view rel) {
        Handle<CFileNode> node = NodeAt(db, rel);
        EXPECT_TRUE(node) << rel;
        return node;
    }

    Handle<CPackage> Create(const char* name) {
        Handle<CPackage> package;
        EXPECT_TRUE(commands.CreatePackage(name, "", &package).IsDone()) << name;
        return package;
    }

    bool Listed(const Handle<CPackage>& package) const {
        return std::find(db.Packages().begin(), db.Packages().end(), package) !=
               db.Packages().end();
    }

    TempGameFolder game;
    CFileDatabase db;
    CPackageCommands commands{db};
};

TEST_F(PackageCommandsTest, NamesAreCheckedAsThePackageDialogDoes) {
    Create("Islands");
    struct Case {
        const char* name;
        const char* refusal; // null: accepted
    } cases[] = {
        {"", CPackageCommands::NAME_MISSING_TEXT},
        {" \t ", CPackageCommands::NAME_MISSING_TEXT},
        {"ISLANDS", CPackageCommands::NAME_TAKEN_TEXT},
        {"  islands ", CPackageCommands::NAME_TAKEN_TEXT},
        {"<core FILES>", CPackageCommands::NAME_TAKEN_TEXT},
        {"  Desert  ", nullptr},
    };
    for (const Case& c : cases) {
        const size_t before = db.Packages().size();
        const uint64_t count = db.ChangeCount();
        Handle<CPackage> created;
        const CommandResult result = commands.CreatePackage(c.name, "http://home", &created);
        if (c.refusal) {
            EXPECT_EQ(result.status, CommandStatus::Refused) << c.name;
            EXPECT_EQ(result.reason, c.refusal) << c.name;
            EXPECT_EQ(db.Packages().size(), before) << c.name;
            EXPECT_EQ(db.ChangeCount(), count) << c.name;
        } else {
            ASSERT_TRUE(result.IsDone()) << c.name;
            ASSERT_TRUE(created);
            EXPECT_EQ(created->name, "Desert"); // trimmed
            EXPECT_EQ(created->homePage, "http://home");
            EXPECT_EQ(db.Packages().back(), created);
            EXPECT_GT(db.ChangeCount(), count);
        }
    }
}

TEST_F(PackageCommandsTest, EditingKeepsItsOwnNameInAnotherCaseAndAcceptsEmpty) {
    auto islands = Create("Islands");
    Create("Desert");
    EXPECT_TRUE(commands.EditPackage(islands, "ISLANDS", "h").IsDone());
    EXPECT_EQ(islands->name, "ISLANDS");
    EXPECT_EQ(islands->homePage, "h");

    CommandResult taken = commands.EditPackage(islands, "desert", "");
    EXPECT_EQ(taken.reason, CPackageCommands::NAME_TAKEN_TEXT);
    EXPECT_EQ(islands->name, "ISLANDS");

    EXPECT_TRUE(commands.EditPackage(islands, "  ", "").IsDone());
    EXPECT_EQ(islands->name, "");

    EXPECT_EQ(commands.EditPackage(db.CoreFiles(), "Mine", "").status, CommandStatus::Refused);
    EXPECT_EQ(db.CoreFiles()->name, "<Core files>");
}

TEST_F(PackageCommandsTest, TheBindListStopsAfterTwoHundredWithPseudoPackagesDisabled) {
    for (int i = 0; i < 250; ++i)
        Create(("p" + std::to_string(i)).c_str());
    const std::vector<BindTarget> targets = commands.BindTargets();
    ASSERT_EQ(targets.size(), CPackageCommands::BIND_TARGET_LIMIT);
    for (size_t i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(targets[i].package, db.Packages()[i]);
        EXPECT_EQ(targets[i].enabled, i >= 3) << i;
    }
    EXPECT_EQ(targets.back().package->name, "p196");
}

TEST_F(PackageCommandsTest, BindingARowOfUnknownFilesTakesItOutOfThere) {
    game.Write("notes.txt", "r");
    Scan();
    auto node = Node("notes.txt");
    ASSERT_GE(db.UnknownFiles()->IndexOf(node.get()), 0);
    auto target = Create("Docs");

    const uint64_t count = db.ChangeCount();
    CommandResult bound = commands.BindListed(target, {{node, db.UnknownFiles()}});
    ASSERT_TRUE(bound.IsDone());
    ASSERT_EQ(bound.items.size(), 1u);
    EXPECT_EQ(bound.items[0].outcome, ItemOutcome::Changed);
    EXPECT_EQ(db.UnknownFiles()->IndexOf(node.get()), -1);
    EXPECT_EQ(node->flags & NF_UNKNOWN_FILE, 0);
    EXPECT_EQ(target->IndexOf(node.get()), 0);
    EXPECT_EQ(node->bindCount, 1u);
    EXPECT_GT(db.ChangeCount(), count);

    // Listed a second time it would look shared with itself and never be uninstalled.
    CommandResult again = commands.BindListed(target, {{node, target}});
    ASSERT_EQ(again.items.size(), 1u);
    EXPECT_EQ(again.items[0].outcome, ItemOutcome::Unchanged);
    EXPECT_EQ(target->members.size(), 1u);
    EXPECT_EQ(node->bindCount, 1u);

    // A row whose package let go of the node since the view was filled binds nothing.
    auto other = Create("Other");
    EXPECT_TRUE(commands.BindListed(other, {{node, db.UnknownFiles()}}).items.empty());
    EXPECT_EQ(commands.BindListed(db.CoreFiles(), {{node, target}}).status, CommandStatus::Refused);
}

TEST_F(PackageCommandsTest, UnbindingFromCoreFilesDoesNothing) {
    game.Write("IRONVALE.EXE", "exe");
    game.Write("AddOns/a.pbo", "a");
    Scan();
    auto exe = Node("IRONVALE.EXE");
    ASSERT_GE(db.CoreFiles()->IndexOf(exe.get()), 0);
    const uint64_t count = db.ChangeCount();
    CommandResult result = commands.UnbindListed({{exe, db.CoreFiles()}});
    ASSERT_EQ(result.items.size(), 1u);
    EXPECT_EQ(result.items[0].outcome, ItemOutcome::Unchanged);
    EXPECT_GE(db.CoreFiles()->IndexOf(exe.get()), 0);
    EXPECT_EQ(db.ChangeCount(), count);

    // Out of a real package, an unheld file goes back to a pseudo-package.
    auto addon = Node("AddOns\\a.pbo");
    auto package = Create("A");
    ASSERT_TRUE(commands.Bind(package, {addon}).IsDone());
    EXPECT_EQ(db.UnknownAddons()->IndexOf(addon.get()), -1);
    result = commands.UnbindListed({{addon, package}});
    EXPECT_EQ(result.items[0].outcome, ItemOutcome::Changed);
    EXPECT_EQ(package->IndexOf(addon.get()), -1);
    EXPECT_GE(db.UnknownAddons()->IndexOf(addon.get()), 0);
}

TEST_F(PackageCommandsTest, OnlyCoreAndUnknownFilesAskBeforeDeactivating) {
    game.Write("AddOns/a.pbo", "a");
    game.Write("notes.txt", "n");
    Scan();
    CommandResult addons = commands.DeactivatePackages({db.UnknownAddons()}, false);
    EXPECT_TRUE(addons.IsDone());
    EXPECT_EQ(Node("AddOns\\a.pbo")->status, NS_INACTIVE);

    CommandResult asked = commands.DeactivatePackages({db.CoreFiles(), db.UnknownFiles()}, false);
    ASSERT_EQ(asked.status, CommandStatus::NeedsConfirmation);
    EXPECT_EQ(asked.questions,
              (std::vector<String>{
                  "Deactivating <Core files> could harm your IVL installation. Are you sure?",
                  "Deactivating <Unknown files> could harm your IVL installation. Are you sure?"}));
    EXPECT_EQ(Node("notes.txt")->status, NS_ACTIVE);

    EXPECT_TRUE(commands.DeactivatePackages({db.UnknownFiles()}, true).IsDone());
    EXPECT_EQ(Node("notes.txt")->status, NS_INACTIVE);
}

TEST_F(PackageCommandsTest, UninstallingSharedMembersDeletesNothingAndDropsThePackage) {
    game.Write("AddOns/shared.pbo", "s");
    game.Write("AddOns/own.pbo", "o");
    Scan();
    auto shared = Node("AddOns\\shared.pbo");
    auto own = Node("AddOns\\own.pbo");
    auto first = Create("First");
    auto second = Create("Second");
    commands.Bind(first, {shared});
    commands.Bind(second, {shared, own});

    CommandResult asked = commands.UninstallPackages({first}, false);
    ASSERT_EQ(asked.status, CommandStatus::NeedsConfirmation);
    EXPECT_EQ(asked.questions.size(), 2u);
    EXPECT_TRUE(Listed(first));

    EXPECT_EQ(commands.UninstallPackages({db.UnknownAddons(), first}, true).status,
              CommandStatus::Refused);
    EXPECT_TRUE(Listed(first));

    CommandResult done = commands.UninstallPackages({first}, true);
    EXPECT_TRUE(done.IsDone());
    EXPECT_FALSE(Listed(first));
    EXPECT_TRUE(game.Exists("AddOns/shared.pbo"));
    EXPECT_EQ(shared->bindCount, 1u);

    // Now the last holder: its files go.
    done = commands.UninstallPackages({second}, true);
    EXPECT_TRUE(done.IsDone());
    EXPECT_FALSE(game.Exists("AddOns/shared.pbo"));
    EXPECT_FALSE(game.Exists("AddOns/own.pbo"));
}

TEST_F(PackageCommandsTest, AnUninstallThatCannotDeleteNamesThePathsAndKeepsThePackage) {
    game.Write("AddOns/locked/x.pbo", "x");
    Scan();
    auto package = Create("Locked");
    commands.Bind(package, {Node("AddOns\\locked\\x.pbo")});
    game.Lock("AddOns/locked");
    CommandResult result;
    {
        test::ScopedUnprivileged unprivileged;
        ASSERT_TRUE(unprivileged.Active());
        result = commands.UninstallPackages({package}, true);
    }
    ASSERT_EQ(result.status, CommandStatus::PartlyFailed);
    ASSERT_EQ(result.items.size(), 1u);
    EXPECT_EQ(result.items[0].outcome, ItemOutcome::Failed);
    EXPECT_EQ(result.items[0].paths, std::vector<String>{"AddOns\\locked\\x.pbo"});
    EXPECT_TRUE(Listed(package));
}

TEST_F(PackageCommandsTest, APackageHoldingAFolderIsSwitchedWithoutAFailure) {
    game.Write("AddOns/sub/b.pbo", "b");
    Scan();
    auto package = Create("P");
    commands.Bind(package, {Node("AddOns\\sub\\"), Node("AddOns\\sub\\b.pbo")});
    // Folders are never renamed: only the file is switched, and the command is done.
    const CommandResult off = commands.DeactivatePackages({package}, true);
    EXPECT_EQ(off.status, CommandStatus::Done);
    EXPECT_EQ(Node("AddOns\\sub\\b.pbo")->status, NS_INACTIVE);
    const CommandResult on = commands.ActivatePackages({package});
    EXPECT_EQ(on.status, CommandStatus::Done);
    EXPECT_EQ(Node("AddOns\\sub\\b.pbo")->status, NS_ACTIVE);
}

TEST_F(PackageCommandsTest, FileCommandsSayWhatBecameOfEachFile) {
    game.Write("AddOns/a.pbo", "a");
    game.Write("AddOns/gone.pbo", "g");
    Scan();
    auto a = Node("AddOns\\a.pbo");
    auto gone = Node("AddOns\\gone.pbo");
    auto package = Create("P");
    commands.Bind(package, {a, gone});
    game.Remove("AddOns/gone.pbo");
    Scan();
    ASSERT_EQ(gone->status, NS_MISSING);

    CommandResult result = commands.DeactivateFiles({a, gone});
    EXPECT_EQ(result.status, CommandStatus::PartlyFailed);
    ASSERT_EQ(result.items.size(), 2u);
    EXPECT_EQ(result.items[0].outcome, ItemOutcome::Changed);
    EXPECT_EQ(result.items[1].outcome, ItemOutcome::Failed);
    EXPECT_TRUE(result.items[1].missing);

    const uint64_t count = db.ChangeCount();
    result = commands.DeactivateFiles({a});
    EXPECT_EQ(result.items[0].outcome, ItemOutcome::Unchanged);
    EXPECT_EQ(db.ChangeCount(), count);

    // A file the database does not know holds the active name: a's rename fails.
    game.Write("AddOns/A.PBO", "other");
    result = commands.ActivateFiles({a});
    EXPECT_EQ(result.items[0].outcome, ItemOutcome::Failed);
    EXPECT_FALSE(result.items[0].missing);
    EXPECT_EQ(a->status, NS_INACTIVE);
}

TEST_F(PackageCommandsTest, TheChangeCountMovesOnlyWhenTheTreeOrPackagesChange) {
    game.Write("AddOns/a.pbo", "a");
    Scan();
    uint64_t count = db.ChangeCount();
    Scan();
    EXPECT_EQ(db.ChangeCount(), count) << "a rescan that finds nothing new";
    game.Write("AddOns/b.pbo", "b");
    Scan();
    EXPECT_GT(db.ChangeCount(), count) << "a new file";
    count = db.ChangeCount();
    game.Remove("AddOns/b.pbo");
    Scan();
    EXPECT_GT(db.ChangeCount(), count) << "a file gone";
    count = db.ChangeCount();
    commands.ActivatePackages({db.UnknownAddons()});
    EXPECT_EQ(db.ChangeCount(), count) << "already active";
    commands.DeactivatePackages({db.UnknownAddons()}, true);
    EXPECT_GT(db.ChangeCount(), count);
}

TEST_F(PackageCommandsTest, PathsAndNamesAreFoundIgnoringCase) {
    game.Write("AddOns/Sub/x.pbo", "x");
    Scan();
    auto package = Create("Islands");
    EXPECT_EQ(commands.FindPackage("islands"), package);
    EXPECT_EQ(commands.FindPackage("<unknown FILES>"), db.UnknownFiles());
    EXPECT_FALSE(commands.FindPackage("nothing"));
    ASSERT_EQ(commands.FindNodes("addons/sub/X.PBO").size(), 1u);
    ASSERT_EQ(commands.FindNodes("\\AddOns\\sub\\").size(), 1u);
    EXPECT_TRUE(commands.FindNodes("AddOns/none.pbo").empty());
    EXPECT_EQ(CPackageCommands::FolderToOpen(*Node("AddOns\\Sub\\x.pbo")),
              Node("AddOns\\Sub\\")->AbsolutePath());
}

} // namespace
