// The desktop program's own switches, taken out before the game's words are read.
#include "watch/core/ProgramSwitches.h"

#include <gtest/gtest.h>

using namespace quillory;

TEST(ProgramSwitches, TakesItsOwnSwitchesAndLeavesTheGamesWords) {
    struct Case {
        std::vector<String> words;
        bool help, version, dataFolder;
        String dataFolderPath;
        std::vector<size_t> gameWords;
    };
    const std::vector<Case> cases = {
        {{"quillory"}, false, false, false, "", {0}},
        {{"quillory", "--help"}, true, false, false, "", {0}},
        {{"quillory", "-connect=a", "--version", "-port=1"}, false, true, false, "", {0, 1, 3}},
        {{"quillory", "--data-folder", "-connect=a", "-mod=@x"}, false, false, true, "", {0, 2, 3}},
        {{"quillory", "--data-folder=/srv/q"}, false, false, true, "/srv/q", {0}},
        // A later one wins.
        {{"quillory", "--data-folder=/srv/q", "--data-folder"}, false, false, true, "", {0}},
        {{"quillory", "--data-folder", "--data-folder=/a b"}, false, false, true, "/a b", {0}},
        // Near misses are the game's words: the game's own switches are single-dash.
        {{"quillory", "--data-folderx", "--HELP", "-help", "-version"},
         false,
         false,
         false,
         "",
         {0, 1, 2, 3, 4}},
        // The program's own path is never a switch.
        {{"--help"}, false, false, false, "", {0}},
    };
    for (const Case& c : cases) {
        const ProgramSwitches s = ReadProgramSwitches(c.words);
        const String name = c.words.size() > 1 ? c.words[1] : c.words[0];
        EXPECT_EQ(s.help, c.help) << name;
        EXPECT_EQ(s.version, c.version) << name;
        EXPECT_EQ(s.dataFolder, c.dataFolder) << name;
        EXPECT_EQ(s.dataFolderPath, c.dataFolderPath) << name;
        EXPECT_EQ(s.gameWords, c.gameWords) << name;
    }
}
