// The program's own command line and the server it adds or selects.
#include "watch/core/ProgramCommandLine.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace quillory;

namespace {

Handle<ServerEntry> EntryAt(String address, bool automaticMods = false) {
    return std::make_shared<ServerEntry>(
        ServerEntry{address, "old", "Named " + address, "-old", automaticMods});
}

} // namespace

TEST(ProgramCommandLine, ReadsSwitchesAndFreeWords) {
    struct Case {
        std::vector<String> words;
        String folder, host, port, password, extra;
    };
    const std::vector<Case> cases = {
        {{"C:\\Games\\Quillory\\quillory.exe"}, "C:\\Games\\Quillory\\", "", "", "", ""},
        {{"/opt/q/quillory", "-connect=127.2.3.4", "-port=2302", "-password=pw"},
         "/opt/q/",
         "127.2.3.4",
         "2302",
         "pw",
         ""},
        {{"quillory", "-CONNECT=host", "-Port=1", "-PassWord=Secret", "-NoSplash"},
         "",
         "host",
         "1",
         "Secret",
         ""},
        {{"q", "-connect=a", "-connect=b", "-port=1", "-port=2", "-password=x", "-password="},
         "",
         "b",
         "2",
         "",
         ""},
        {{"q", "-mod=@x", "-connect=h", "-nomap", "-nosplash", "-world=empty"},
         "",
         "h",
         "",
         "",
         "-mod=@x -nomap -world=empty"},
        {{"q", "-nosplashes", "word with blanks", "-connect"},
         "",
         "",
         "",
         "",
         "word with blanks -connect"},
        {{}, "", "", "", "", ""},
    };
    for (const Case& c : cases) {
        ProgramCommandLine line = ParseProgramCommandLine(c.words);
        EXPECT_EQ(line.programPath, c.words.empty() ? String() : c.words[0]);
        EXPECT_EQ(line.programFolder, c.folder);
        EXPECT_EQ(line.host, c.host);
        EXPECT_EQ(line.port, c.port);
        EXPECT_EQ(line.password, c.password);
        EXPECT_EQ(line.extraParameters, c.extra);
    }
}

TEST(ProgramCommandLine, SelectsAnExistingEntryIgnoringCase) {
    HandleArray<ServerEntry> entries = {EntryAt("a:1"), EntryAt("Host.Example:2302"),
                                        EntryAt("c:3")};
    int32_t selected = 0;
    ProgramCommandLine line =
        ParseProgramCommandLine({"q", "-connect=host.EXAMPLE", "-port=2302", "-mod=@x", "-nomap"});
    EXPECT_TRUE(ApplyProgramCommandLine(line, entries, selected));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(entries[1]->address, "Host.Example:2302");
    EXPECT_EQ(entries[1]->description, "Named Host.Example:2302");
    EXPECT_EQ(entries[1]->password, "");
    EXPECT_EQ(entries[1]->startupParameters, "-mod=@x -nomap");
    EXPECT_FALSE(entries[1]->automaticMods) << "an existing entry keeps its flag";
}

TEST(ProgramCommandLine, AppendsANewEntryWithAutomaticMods) {
    HandleArray<ServerEntry> entries = {EntryAt("a:1")};
    int32_t selected = 0;
    ProgramCommandLine line = ParseProgramCommandLine(
        {"q", "-connect=127.0.0.1", "-port=2400", "-password=pw", "-mod=@x"});
    EXPECT_TRUE(ApplyProgramCommandLine(line, entries, selected));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(entries[1]->address, "127.0.0.1:2400");
    EXPECT_EQ(entries[1]->description, "127.0.0.1:2400");
    EXPECT_EQ(entries[1]->password, "pw");
    EXPECT_EQ(entries[1]->startupParameters, "-mod=@x");
    EXPECT_TRUE(entries[1]->automaticMods);
}

TEST(ProgramCommandLine, WithoutPortTheAddressEndsInAColon) {
    HandleArray<ServerEntry> entries = {EntryAt("h"), EntryAt("h:")};
    int32_t selected = 0;
    EXPECT_TRUE(
        ApplyProgramCommandLine(ParseProgramCommandLine({"q", "-connect=H"}), entries, selected));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(entries[1]->password, "") << "the given values replace the old ones, even empty";
    EXPECT_EQ(entries[1]->startupParameters, "");

    HandleArray<ServerEntry> none;
    selected = 0;
    EXPECT_TRUE(
        ApplyProgramCommandLine(ParseProgramCommandLine({"q", "-connect=new"}), none, selected));
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0]->address, "new:");
    EXPECT_EQ(selected, 0);
}

TEST(ProgramCommandLine, WithoutHostNothingChanges) {
    const std::vector<std::vector<String>> commandLines = {
        {"q"},
        {"q", "-port=2302", "-password=x", "-mod=@a"},
        {"q", "-connect="},
        {"q", "-connect=h", "-connect="},
    };
    for (const auto& words : commandLines) {
        HandleArray<ServerEntry> entries = {EntryAt("a:1")};
        int32_t selected = 0;
        EXPECT_FALSE(ApplyProgramCommandLine(ParseProgramCommandLine(words), entries, selected));
        EXPECT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0]->password, "old");
        EXPECT_EQ(selected, 0);
    }
}
