// The server list rules: what Add, Edit and Del do to the entries and the selection.
#include "watch/core/ServerList.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace quillory;

namespace {

ServerEntry Typed(String address, String password = "", String description = "",
                  String parameters = "") {
    return ServerEntry{std::move(address), std::move(password), std::move(description),
                       std::move(parameters), true};
}

HandleArray<ServerEntry> ListOf(const std::vector<String>& addresses) {
    HandleArray<ServerEntry> entries;
    for (const String& a : addresses)
        entries.push_back(std::make_shared<ServerEntry>(Typed(a, "pw", a, "-x")));
    return entries;
}

} // namespace

TEST(ServerList, AddTakesTheDialogTexts) {
    struct Case {
        ServerEntry typed;
        bool added;
        String address, password, parameters;
        bool automaticMods;
    };
    const std::vector<Case> cases = {
        {Typed("  127.10.0.5:2302"), true, "127.10.0.5:2302", "", "", true},
        {Typed("\thost \r\n", "  ", "", " -nomap  -mod=@a "), true, "host", "  ", "-nomap  -mod=@a",
         false},
        {Typed("h", "p", "", "-MOD="), true, "h", "p", "-MOD=", true},
        {Typed("h", "", "ignored description"), true, "h", "", "", true},
        {Typed(""), false, "", "", "", true},
        {Typed(" \t "), false, "", "", "", true},
    };
    for (const Case& c : cases) {
        HandleArray<ServerEntry> entries = ListOf({"first"});
        int32_t selected = 0;
        EXPECT_EQ(AddServer(entries, selected, c.typed), c.added) << c.typed.address;
        if (!c.added) {
            EXPECT_EQ(entries.size(), 1u);
            EXPECT_EQ(selected, 0);
            continue;
        }
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(selected, 1);
        const ServerEntry& e = *entries[1];
        EXPECT_EQ(e.address, c.address);
        EXPECT_EQ(e.description, c.address) << "a new entry is described by its address";
        EXPECT_EQ(e.password, c.password);
        EXPECT_EQ(e.startupParameters, c.parameters);
        EXPECT_EQ(e.automaticMods, c.automaticMods) << c.typed.startupParameters;
    }
}

TEST(ServerList, AddedAddressSplitsIntoHostAndPort) {
    HandleArray<ServerEntry> entries;
    int32_t selected = -1;
    ASSERT_TRUE(AddServer(entries, selected, Typed("  127.10.0.5:2302")));
    ServerAddress split = SplitServerAddress(SelectedEntry(entries, selected)->address);
    EXPECT_EQ(split.host, "127.10.0.5");
    EXPECT_EQ(split.portText, "2302");
    EXPECT_EQ(split.port, 2302u);
    ASSERT_TRUE(AddServer(entries, selected, Typed("localhost")));
    split = SplitServerAddress(SelectedEntry(entries, selected)->address);
    EXPECT_EQ(split.portText, "0");
    EXPECT_EQ(split.port, 0u) << "no colon: the default ports";
}

TEST(ServerList, EditReplacesTheSelectedEntryInPlace) {
    HandleArray<ServerEntry> entries = ListOf({"a", "b", "c"});
    entries[1]->automaticMods = false;
    const Handle<ServerEntry> kept = entries[1];
    int32_t selected = 1;
    EXPECT_TRUE(EditServer(entries, selected, Typed(" b2 ", " new ", " Bee ", " -mod= ")));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(entries[1], kept) << "the same entry, so the list item keeps its data";
    EXPECT_EQ(kept->address, "b2");
    EXPECT_EQ(kept->password, " new ");
    EXPECT_EQ(kept->description, "Bee");
    EXPECT_EQ(kept->startupParameters, "-mod=");
    EXPECT_FALSE(kept->automaticMods) << "editing never changes the mod flag";
}

TEST(ServerList, EditOfOnlyThePasswordKeepsPositionAndDescription) {
    HandleArray<ServerEntry> entries = ListOf({"a", "b"});
    int32_t selected = 0;
    ServerEntry typed = *entries[0];
    typed.password = "changed";
    EXPECT_TRUE(EditServer(entries, selected, typed));
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(entries[0]->description, "a");
    EXPECT_EQ(entries[0]->password, "changed");
}

TEST(ServerList, EditWithAnEmptyAddressKeepsTheEntryButReselects) {
    HandleArray<ServerEntry> entries = ListOf({"a"});
    int32_t selected = 0;
    EXPECT_TRUE(EditServer(entries, selected, Typed("   ", "x", "X", "-y")));
    EXPECT_EQ(entries[0]->address, "a");
    EXPECT_EQ(entries[0]->password, "pw");
    EXPECT_EQ(entries[0]->description, "a");
    EXPECT_EQ(selected, 0);
}

TEST(ServerList, EditWithoutSelectionIsAdd) {
    for (int32_t none : {-1, 5}) {
        HandleArray<ServerEntry> entries = ListOf({"a"});
        int32_t selected = none;
        EXPECT_TRUE(EditServer(entries, selected, Typed(" new ", "", "Desc")));
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(selected, 1);
        EXPECT_EQ(entries[1]->description, "new") << "added as Add does: described by address";
        EXPECT_EQ(entries[0]->address, "a");
    }
    HandleArray<ServerEntry> entries;
    int32_t selected = -1;
    EXPECT_FALSE(EditServer(entries, selected, Typed("")));
    EXPECT_TRUE(entries.empty());
}

TEST(ServerList, DeleteSelectsTheFirstEntry) {
    struct Case {
        std::vector<String> list;
        int32_t selected;
        bool deleted;
        std::vector<String> left;
        int32_t selectedAfter;
    };
    const std::vector<Case> cases = {
        {{"a", "b", "c"}, 2, true, {"a", "b"}, 0},
        {{"a", "b", "c"}, 0, true, {"b", "c"}, 0},
        {{"a", "b", "c"}, 1, true, {"a", "c"}, 0},
        {{"only"}, 0, true, {}, -1},
        {{"a"}, -1, false, {"a"}, -1},
        {{"a"}, 1, false, {"a"}, 1},
        {{}, 0, false, {}, 0},
    };
    for (const Case& c : cases) {
        HandleArray<ServerEntry> entries = ListOf(c.list);
        int32_t selected = c.selected;
        EXPECT_EQ(DeleteServer(entries, selected), c.deleted);
        std::vector<String> left;
        for (const auto& e : entries)
            left.push_back(e->address);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(selected, c.selectedAfter);
    }
}

TEST(ServerList, PasswordTextAndSelectedEntry) {
    EXPECT_EQ(PasswordText(""), "<no password>");
    EXPECT_EQ(PasswordText("  "), "  ");
    EXPECT_EQ(PasswordText("pw"), "pw");
    HandleArray<ServerEntry> entries = ListOf({"a", "b"});
    EXPECT_EQ(SelectedEntry(entries, 1), entries[1]);
    EXPECT_EQ(SelectedEntry(entries, -1), nullptr);
    EXPECT_EQ(SelectedEntry(entries, 2), nullptr);
}

TEST(ServerList, RenamingAfterTheServerName) {
    struct Case {
        String address, description, shown;
        std::optional<String> renamed;
    };
    const std::vector<Case> cases = {
        {"127.2.3.4", "127.2.3.4", "Dedicated server on ALPHA", "ALPHA"},
        {"127.2.3.4", "127.2.3.4", "Fun Server", "Fun Server"},
        {"127.2.3.4", "127.2.3.4", "dedicated server on ALPHA", "dedicated server on ALPHA"},
        {"127.2.3.4", "127.2.3.4", "Dedicated server onALPHA", "Dedicated server onALPHA"},
        {"127.2.3.4", "127.2.3.4", "Dedicated server on Dedicated server on X",
         "Dedicated server on X"},
        {"127.2.3.4", "My name", "Dedicated server on ALPHA", std::nullopt},
        {"127.2.3.4", "127.2.3.4 ", "Fun", std::nullopt},
        {"host", "HOST", "Fun", std::nullopt},
        {"127.2.3.4", "127.2.3.4", "", std::nullopt},
        // Nothing left after the prefix: an entry without text would vanish from view.
        {"127.2.3.4", "127.2.3.4", "Dedicated server on ", std::nullopt},
    };
    for (const Case& c : cases) {
        ServerEntry entry = Typed(c.address, "", c.description);
        EXPECT_EQ(RenamedDescription(entry, c.shown), c.renamed) << c.shown;
    }
    ServerEntry entry = Typed("127.2.3.4", "", "127.2.3.4");
    entry.description = *RenamedDescription(entry, "Dedicated server on ALPHA");
    EXPECT_FALSE(RenamedDescription(entry, "Dedicated server on BETA")) << "renamed only once";
}

TEST(ServerList, LabelsNameTheAddressOnlyWhereDescriptionsRepeat) {
    HandleArray<ServerEntry> entries;
    for (const auto& [address, description] : std::vector<std::pair<String, String>>{
             {"127.0.0.1:2302", "Valehold"},
             {"127.0.0.2", "Marrowby"},
             {"127.0.0.3:2402", "Valehold"},
             {"127.0.0.4", "valehold"},
         })
        entries.push_back(std::make_shared<ServerEntry>(Typed(address, "", description)));
    const std::vector<String> expected = {"Valehold (127.0.0.1:2302)", "Marrowby",
                                          "Valehold (127.0.0.3:2402)", "valehold"};
    EXPECT_EQ(ListLabels(entries), expected);
    EXPECT_TRUE(ListLabels({}).empty());
}
