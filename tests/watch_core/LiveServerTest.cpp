// The server browser's rows: what each cell shows, how the columns sort and what the
// filters leave in sight.
#include "watch/core/LiveServer.h"
#include "watch/core/BrowsedServer.h"
#include "watch/core/BrowserFilter.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

using namespace quillory;

namespace {

uint32_t Loopback(uint8_t last) {
    const uint8_t bytes[4] = {127, 0, 0, last};
    uint32_t address;
    std::memcpy(&address, bytes, 4);
    return address;
}

LiveServer Listed(const String& name, uint8_t last, uint8_t players = 3, bool uprising = true) {
    LiveServer s;
    s.listed.name = name;
    s.listed.address = Loopback(last);
    s.listed.port = 2302;
    s.listed.players = players;
    s.listed.flags = uprising ? PSF_UPRISING : 0;
    return s;
}

LiveServer Answered(const String& name, uint8_t last, int ping, int players, const String& max,
                    const String& map = "Vale", const String& mission = "Ridge Patrol",
                    bool locked = false, int version = 196) {
    LiveServer s = Listed(name, last);
    QueryOutcome o;
    o.result = QueryResult::REPLIED;
    o.status.ping = ping;
    o.status.players = players;
    o.status.maxPlayers = max;
    o.status.map = map;
    o.status.mission = mission;
    o.status.locked = locked;
    o.status.version = version;
    o.status.state = 14;
    s.outcome = o;
    return s;
}

LiveServer Silent(const String& name, uint8_t last) {
    LiveServer s = Listed(name, last);
    s.outcome = QueryOutcome{};
    return s;
}

std::vector<String> Names(std::vector<LiveServer> rows, int column, bool descending = false) {
    std::sort(rows.begin(), rows.end(), [&](const LiveServer& a, const LiveServer& b) {
        return descending ? BrowserLess(b, a, column) : BrowserLess(a, b, column);
    });
    std::vector<String> names;
    for (const auto& r : rows)
        names.push_back(r.listed.name);
    return names;
}

} // namespace

TEST(LiveServer, CellsOfAnAnsweringASilentAndAnUnaskedServer) {
    const LiveServer answered = Answered("Alpha", 9, 42, 5, "16", "Ridge", "Night Convoy", true);
    const LiveServer silent = Silent("Beta", 10);
    const LiveServer unasked = Listed("Gamma", 11, 7, false);
    struct Case {
        int column;
        const char *answered, *silent, *unasked;
    } cases[] = {
        {BC_NAME, "Alpha", "Beta", "Gamma"},
        {BC_PLAYERS, "5/16", "3", "7"},
        {BC_PING, "42", "", ""},
        {BC_MAP, "Ridge", "", ""},
        {BC_MISSION, "Night Convoy", "", ""},
        {BC_STATUS, "Playing", "No reply", ""},
        {BC_VERSION, "196", "", ""},
        {BC_LOCKED, "Yes", "", ""},
        {BC_GANTRY, "Yes", "Yes", "Yes"},
        {BC_GAME, "Ironvale Uprising", "Ironvale Uprising", "Ironvale"},
        {BC_ADDRESS, "127.0.0.9:2302", "127.0.0.10:2302", "127.0.0.11:2302"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BrowserCellText(answered, c.column), c.answered) << BrowserColumnTitle(c.column);
        EXPECT_EQ(BrowserCellText(silent, c.column), c.silent) << BrowserColumnTitle(c.column);
        EXPECT_EQ(BrowserCellText(unasked, c.column), c.unasked) << BrowserColumnTitle(c.column);
    }
    EXPECT_STREQ(BrowserColumnTitle(BC_PLAYERS), "Players");
    EXPECT_STREQ(BrowserColumnTitle(BC_COUNT), "");
}

TEST(LiveServer, ColumnsSortAsNumbersOrTextsWithTheSilentLast) {
    const std::vector<LiveServer> rows = {
        Answered("delta", 2, 120, 9, "16", "Marsh", "b mission"),
        Answered("Alpha", 10, 9, 12, "12", "vale", "A mission"),
        Silent("Charlie", 3),
        Answered("bravo", 9, 35, 0, "8", "Cinder", "c mission", true, 150),
    };
    EXPECT_EQ(Names(rows, BC_NAME), (std::vector<String>{"Alpha", "bravo", "Charlie", "delta"}));
    EXPECT_EQ(Names(rows, BC_NAME, true),
              (std::vector<String>{"delta", "Charlie", "bravo", "Alpha"}));
    // 9 ms before 35 and 120, not as texts ("120" < "35" < "9").
    EXPECT_EQ(Names(rows, BC_PING), (std::vector<String>{"Alpha", "bravo", "delta", "Charlie"}));
    EXPECT_EQ(Names(rows, BC_PLAYERS), (std::vector<String>{"bravo", "Charlie", "delta", "Alpha"}));
    EXPECT_EQ(Names(rows, BC_MAP), (std::vector<String>{"bravo", "delta", "Alpha", "Charlie"}));
    EXPECT_EQ(Names(rows, BC_MISSION), (std::vector<String>{"Alpha", "delta", "bravo", "Charlie"}));
    EXPECT_EQ(Names(rows, BC_VERSION), (std::vector<String>{"bravo", "Alpha", "delta", "Charlie"}));
    EXPECT_EQ(Names(rows, BC_LOCKED), (std::vector<String>{"Alpha", "delta", "bravo", "Charlie"}));
    // 127.0.0.2, .3, .9, .10: the address as a number.
    EXPECT_EQ(Names(rows, BC_ADDRESS), (std::vector<String>{"delta", "Charlie", "bravo", "Alpha"}));
    // Digits in names count as numbers, leading zeros aside.
    const std::vector<LiveServer> numbered = {Listed("Server 10", 1), Listed("server 9", 2),
                                              Listed("Server 009b", 3), Listed("Server 1", 4)};
    EXPECT_EQ(Names(numbered, BC_NAME),
              (std::vector<String>{"Server 1", "server 9", "Server 009b", "Server 10"}));
    // Equal cells keep one order whatever the column.
    EXPECT_EQ(Names(rows, BC_GANTRY), (std::vector<String>{"Alpha", "bravo", "Charlie", "delta"}));
}

TEST(BrowserFilter, EachChoiceHidesWhatItSays) {
    const LiveServer empty = Answered("Empty", 1, 30, 0, "16");
    const LiveServer full = Answered("Full", 2, 30, 16, "16");
    const LiveServer locked = Answered("Locked", 3, 30, 4, "16", "Vale", "Ridge Patrol", true);
    const LiveServer slow = Answered("Slow", 4, 250, 4, "16");
    const LiveServer old = Answered("Old", 5, 30, 4, "16", "Quarry", "Night Convoy", false, 150);
    const LiveServer silent = Silent("Silent", 6);
    const LiveServer unasked = Listed("Unasked", 7, 0);
    const std::vector<const LiveServer*> all = {&empty, &full,   &locked, &slow,
                                                &old,   &silent, &unasked};
    const auto shown = [&](const BrowserChoices& c, InstalledGames games = {}) {
        std::vector<String> names;
        for (const LiveServer* s : all)
            if (BrowserShows(*s, c, games))
                names.push_back(s->listed.name);
        return names;
    };
    BrowserChoices c;
    EXPECT_EQ(shown(c).size(), all.size()) << "no choice hides nothing";
    c.notEmpty = true;
    EXPECT_EQ(shown(c), (std::vector<String>{"Full", "Locked", "Slow", "Old", "Silent"}));
    c = {};
    c.notFull = true;
    const auto notFull = shown(c);
    EXPECT_EQ(notFull.size(), all.size() - 1);
    EXPECT_EQ(std::count(notFull.begin(), notFull.end(), "Full"), 0);
    c = {};
    c.notLocked = true;
    const auto notLocked = shown(c);
    EXPECT_EQ(std::count(notLocked.begin(), notLocked.end(), "Locked"), 0);
    EXPECT_EQ(notLocked.size(), all.size() - 1);
    c = {};
    c.maxPingMs = 100;
    EXPECT_EQ(shown(c), (std::vector<String>{"Empty", "Full", "Locked", "Old", "Unasked"}));
    c.maxPingMs = 250;
    EXPECT_EQ(shown(c).size(), all.size() - 1) << "at most, not below; the silent stay out";
    c = {};
    c.search = "quarry"; // the map, any case
    EXPECT_EQ(shown(c), (std::vector<String>{"Old"}));
    c.search = "NIGHT"; // the mission
    EXPECT_EQ(shown(c), (std::vector<String>{"Old"}));
    c.search = "sil"; // the name, also of a silent server
    EXPECT_EQ(shown(c), (std::vector<String>{"Silent"}));
    c = {};
    c.myVersionOnly = true;
    EXPECT_EQ(shown(c, {true, false}), (std::vector<String>{"Old"}));
    const auto uprisingOnly = shown(c, {false, true});
    EXPECT_EQ(uprisingOnly.size(), all.size() - 1);
    EXPECT_EQ(std::count(uprisingOnly.begin(), uprisingOnly.end(), "Old"), 0);
}

TEST(BrowserFilter, InstalledGamesAreTheExecutablesInTheFolder) {
    quillory::test::ScratchFolder folder;
    const String path = folder.WithSlash();
    InstalledGames none = FindInstalledGames(path);
    EXPECT_FALSE(none.ironvale);
    EXPECT_FALSE(none.uprising);
    std::ofstream(path + "IRONVALEUPRISING.EXE") << "x";
    const InstalledGames uprising = FindInstalledGames(path);
    EXPECT_FALSE(uprising.ironvale);
    EXPECT_TRUE(uprising.uprising);
    const InstalledGames unknown = FindInstalledGames("");
    EXPECT_TRUE(unknown.ironvale && unknown.uprising) << "no folder: nothing is hidden";
}

TEST(BrowsedServer, KeepAddsAnEntryNamedAfterTheServerOnce) {
    HandleArray<ServerEntry> entries;
    EXPECT_TRUE(KeepBrowsedServer(entries, "127.0.0.5:2302", "Alpha"));
    EXPECT_FALSE(KeepBrowsedServer(entries, "127.0.0.5:2302", "Alpha again"));
    EXPECT_TRUE(KeepBrowsedServer(entries, "127.0.0.6:2302", "  "));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]->description, "Alpha");
    EXPECT_EQ(entries[0]->address, "127.0.0.5:2302");
    EXPECT_TRUE(entries[0]->automaticMods);
    EXPECT_EQ(entries[0]->password, "");
    EXPECT_EQ(entries[1]->description, "127.0.0.6:2302") << "a blank name gives the address";
}
