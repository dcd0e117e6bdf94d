// Which startup parameters leave the mod list to the launcher.
#include "watch/core/ServerEntry.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillory;

TEST(ServerEntry, AutomaticModsOfAddedAndOfOldEntries) {
    struct Case {
        String parameters;
        bool added; // HasAutomaticMods
        bool old;   // AutomaticModsOfOldEntry
    };
    const std::vector<Case> cases = {
        {"", true, true},
        {"-nomap -world=empty", true, true},
        {"-mod=@x", false, false},
        {"-nomap -MOD=@a;@b", false, false},
        {"-Mod=", true, false},         // a switch naming no mods
        {"-mod= -mod=@x", true, false}, // the first switch counts for an added entry
        {"-mod=@x -mod=", false, false},
        {"\"-mod=@a b\"", false, false},  // quotes group the words as the game reads them
        {"x-mod=@a -modx=1", true, true}, // only words that begin with the switch
        {"  -mod=@a  ", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HasAutomaticMods(c.parameters), c.added) << c.parameters;
        EXPECT_EQ(AutomaticModsOfOldEntry(c.parameters), c.old) << c.parameters;
    }
}
