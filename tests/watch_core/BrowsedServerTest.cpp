// The server chosen in the Gantry server browser: found up to letter case, or added.
#include "watch/core/BrowsedServer.h"

#include <gtest/gtest.h>

using namespace quillory;

namespace {

HandleArray<ServerEntry> TwoEntries() {
    HandleArray<ServerEntry> entries;
    entries.push_back(std::make_shared<ServerEntry>(
        ServerEntry{"127.10.0.1:2302", "pw", "First", "-mod=@x", false}));
    entries.push_back(
        std::make_shared<ServerEntry>(ServerEntry{"LocalHost:2402", "", "Second", "", true}));
    return entries;
}

} // namespace

TEST(BrowsedServer, AnAddressEqualUpToCaseSelectsThatEntry) {
    auto entries = TwoEntries();
    int32_t selected = 0;
    EXPECT_EQ(SelectBrowsedServer(entries, selected, "localhost:2402"), BrowsedServer::FOUND);
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1]->description, "Second") << "the entry is left as it was";
}

TEST(BrowsedServer, AnotherAddressIsAddedAndSelected) {
    auto entries = TwoEntries();
    int32_t selected = 0;
    // A different port is a different server.
    EXPECT_EQ(SelectBrowsedServer(entries, selected, "127.10.0.1:2303"), BrowsedServer::ADDED);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(selected, 2);
    const ServerEntry& added = *entries[2];
    EXPECT_EQ(added.address, "127.10.0.1:2303");
    EXPECT_EQ(added.description, "127.10.0.1:2303");
    EXPECT_EQ(added.password, "");
    EXPECT_EQ(added.startupParameters, "");
    EXPECT_TRUE(added.automaticMods);

    HandleArray<ServerEntry> none;
    selected = -1;
    EXPECT_EQ(SelectBrowsedServer(none, selected, "127.2.3.4:5"), BrowsedServer::ADDED);
    EXPECT_EQ(selected, 0);
}
