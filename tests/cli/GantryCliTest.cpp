// quillory-cli gantry against a real temporary game folder.
#include "tests/support/ChildProcess.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <zlib.h>

using namespace quillory::test;
using nlohmann::json;

namespace {

uint32_t CrcOf(std::string_view bytes) {
    return static_cast<uint32_t>(
        ::crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string Hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

class GantryCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.Write("Ironvale.exe", "core exe");
        game.Write("AddOns/Weapons.pbo", "core weapons");
        game.Write("AddOns/tank.pbo", "tank");
        game.Write("AddOns/gun.pbo", "gun");
        game.Write("@Mod/addons/unit.pbo", "unit");
        game.Write("notes.txt", "notes");
    }

    // Runs `quillory-cli gantry --game GAME --data DATA args...`.
    ProgramResult Gantry(std::vector<std::string> args, bool withGame = true) {
        std::vector<std::string> all = {"gantry", "--data", data.Path()};
        if (withGame)
            all.insert(all.end(), {"--game", game.Path()});
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(QUILLORY_CLI_PATH, all);
    }

    json Json(std::vector<std::string> args) {
        args.push_back("--json");
        ProgramResult result = Gantry(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return json::parse(result.out, nullptr, false);
    }

    // The row of `files --json` for a file with this raw path.
    json FileRow(const std::string& rawPath, const std::string& package = "") {
        for (const json& row : Json(package.empty() ? std::vector<std::string>{"files"}
                                                    : std::vector<std::string>{"files", package}))
            if (row["path"] == rawPath)
                return row;
        return json();
    }

    json PackageRow(const std::string& name) {
        for (const json& row : Json({"packages"}))
            if (row["package"] == name)
                return row;
        return json();
    }

    std::string Database() const { return data.Read("quillory.dat"); }

    TempGameFolder game;
    TempGameFolder data; // the working folder with quillory.dat
};

} // namespace

TEST_F(GantryCliTest, ScanSummarizesAndRemembers) {
    ProgramResult first = Gantry({"scan"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("Folders: 3\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Files: 6\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Packages: 0\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("New files: 6\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Missing files: 0\n"), std::string::npos) << first.out;
    EXPECT_TRUE(data.Exists("quillory.dat"));

    game.Remove("notes.txt");
    game.Write("AddOns/new.pbo", "new");
    ProgramResult second = Gantry({"scan"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("New files: 1\n"), std::string::npos) << second.out;
    EXPECT_NE(second.out.find("Files: 6\n"), std::string::npos) << second.out;
}

TEST_F(GantryCliTest, ViewsShowTheManagersColumns) {
    ProgramResult table = Gantry({"packages"});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    for (const char* column :
         {"Package", "Status", "Size", "Files/Folders", "Install date", "Shared"})
        EXPECT_NE(table.out.find(column), std::string::npos) << column;
    ProgramResult files = Gantry({"files"});
    for (const char* column : {"File", "Status", "Path", "Size", "CRC32", "Package"})
        EXPECT_NE(files.out.find(column), std::string::npos) << column;

    json core = PackageRow("<Core files>");
    ASSERT_FALSE(core.is_null());
    EXPECT_EQ(core["statusText"], "");
    EXPECT_EQ(core["status"], 2);
    EXPECT_EQ(core["filesFolders"], "2/1");
    EXPECT_EQ(core["size"], std::string("core exe").size() + std::string("core weapons").size());
    EXPECT_EQ(core["sizeText"], "1 KB");

    json tank = FileRow("AddOns\\tank.pbo");
    ASSERT_FALSE(tank.is_null());
    EXPECT_EQ(tank["file"], "tank.pbo");
    EXPECT_EQ(tank["folderPath"], "AddOns\\");
    EXPECT_EQ(tank["package"], "<Unknown addons>");
    EXPECT_EQ(tank["crc32"], Hex8(CrcOf("tank")));
    EXPECT_EQ(tank["crc"], Hex8(CrcOf("tank")));
    EXPECT_EQ(tank["size"], 4);
    EXPECT_EQ(tank["status"], 1);

    json onlyCore = Json({"files", "<core FILES>"});
    EXPECT_EQ(onlyCore.size(), 3u) << "a package name in any letter case";
}

TEST_F(GantryCliTest, PackagesAreCreatedBoundAndSwitched) {
    ASSERT_EQ(Gantry({"create", "Tanks", "--home", "http://tanks.example/"}).exitCode, 0);
    ProgramResult bind = Gantry({"bind", "Tanks", "addons/TANK.pbo", "AddOns\\gun.pbo"});
    ASSERT_EQ(bind.exitCode, 0) << bind.err;
    EXPECT_EQ(PackageRow("Tanks")["homePage"], "http://tanks.example/");
    EXPECT_EQ(FileRow("AddOns\\tank.pbo", "<Unknown addons>"), json()) << "left <Unknown addons>";

    // Binding again changes nothing.
    ASSERT_EQ(Gantry({"bind", "Tanks", "AddOns/tank.pbo"}).exitCode, 0);
    EXPECT_EQ(Json({"files", "Tanks"}).size(), 2u);

    ASSERT_EQ(Gantry({"deactivate", "Tanks"}).exitCode, 0);
    EXPECT_FALSE(game.Exists("AddOns/tank.pbo"));
    EXPECT_TRUE(game.Exists("AddOns/tank.pbo." + Hex8(CrcOf("tank")) + ".aab"));
    EXPECT_EQ(PackageRow("Tanks")["statusText"], "Inactive");

    ASSERT_EQ(Gantry({"activate-file", "ADDONS/tank.pbo"}).exitCode, 0);
    EXPECT_EQ(game.Read("AddOns/tank.pbo"), "tank");
    EXPECT_EQ(PackageRow("Tanks")["statusText"], "Partial");
    ASSERT_EQ(Gantry({"deactivate-file", "AddOns\\Tank.pbo"}).exitCode, 0);
    ASSERT_EQ(Gantry({"activate", "tanks"}).exitCode, 0);
    EXPECT_EQ(game.Read("AddOns/gun.pbo"), "gun");
    EXPECT_EQ(PackageRow("Tanks")["statusText"], "");

    ASSERT_EQ(Gantry({"unbind", "Tanks", "AddOns/gun.pbo"}).exitCode, 0);
    EXPECT_EQ(FileRow("AddOns\\gun.pbo", "<Unknown addons>")["package"], "<Unknown addons>");
}

TEST_F(GantryCliTest, CreateRefusesWithTheManagersTexts) {
    ASSERT_EQ(Gantry({"create", "Tanks"}).exitCode, 0);
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"create", ""}, "You need to specify a name"},
        {{"create", "   "}, "You need to specify a name"},
        {{"create", "tanks"}, "A package with this name already exists"},
        {{"create", " TANKS "}, "A package with this name already exists"},
        {{"create", "<core files>"}, "A package with this name already exists"},
    };
    for (const Case& c : cases) {
        ProgramResult result = Gantry(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.args[1];
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    EXPECT_EQ(Json({"packages"}).size(), 4u);
}

TEST_F(GantryCliTest, RiskyCommandsNeedYes) {
    ASSERT_EQ(Gantry({"create", "Tanks"}).exitCode, 0);
    ASSERT_EQ(Gantry({"bind", "Tanks", "AddOns/tank.pbo"}).exitCode, 0);
    const std::string before = Database();
    struct Case {
        std::vector<std::string> args;
        const char* question;
    } cases[] = {
        {{"deactivate", "<Core files>"},
         "Deactivating <Core files> could harm your IVL installation. Are you sure?"},
        {{"deactivate", "<Unknown addons>", "<Unknown files>"},
         "Deactivating <Unknown files> could harm your IVL installation. Are you sure?"},
        {{"uninstall", "Tanks"}, "Files might be deleted. Are you absolutely sure?"},
        {{"dissolve", "Tanks"}, "Are you sure you want to dissolve these package(s)?"},
    };
    for (const Case& c : cases) {
        ProgramResult result = Gantry(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.args[0];
        EXPECT_NE(result.err.find(c.question), std::string::npos) << result.err;
    }
    EXPECT_EQ(Database(), before);
    EXPECT_TRUE(game.Exists("Ironvale.exe"));
    EXPECT_TRUE(game.Exists("AddOns/tank.pbo"));
    EXPECT_TRUE(game.Exists("AddOns/gun.pbo"));

    ASSERT_EQ(Gantry({"deactivate", "<Core files>", "--yes"}).exitCode, 0);
    EXPECT_FALSE(game.Exists("Ironvale.exe"));
    ASSERT_EQ(Gantry({"activate", "<Core files>"}).exitCode, 0);
    EXPECT_TRUE(game.Exists("Ironvale.exe"));
}

TEST_F(GantryCliTest, UninstallAndDissolve) {
    ASSERT_EQ(Gantry({"create", "Tanks"}).exitCode, 0);
    ASSERT_EQ(Gantry({"create", "Mod"}).exitCode, 0);
    ASSERT_EQ(Gantry({"bind", "Tanks", "AddOns/tank.pbo", "AddOns/Weapons.pbo"}).exitCode, 0);
    ASSERT_EQ(Gantry({"bind", "Mod", "@Mod/", "@Mod/addons/", "@Mod/addons/unit.pbo"}).exitCode, 0);

    EXPECT_EQ(Gantry({"uninstall", "<Core files>", "--yes"}).exitCode, 2);
    ProgramResult uninstall = Gantry({"uninstall", "Tanks", "--yes"});
    ASSERT_EQ(uninstall.exitCode, 0) << uninstall.err;
    EXPECT_FALSE(game.Exists("AddOns/tank.pbo"));
    EXPECT_TRUE(game.Exists("AddOns/Weapons.pbo")) << "a core file stays";
    EXPECT_TRUE(PackageRow("Tanks").is_null());

    ProgramResult dissolve = Gantry({"dissolve", "Mod", "--yes"});
    ASSERT_EQ(dissolve.exitCode, 0) << dissolve.err;
    EXPECT_TRUE(game.Exists("@Mod/addons/unit.pbo"));
    EXPECT_EQ(FileRow("@Mod\\addons\\unit.pbo")["package"], "<Unknown files>");
    EXPECT_EQ(Json({"packages"}).size(), 3u);
}

TEST_F(GantryCliTest, UnknownNamesChangeNothing) {
    ASSERT_EQ(Gantry({"create", "Tanks"}).exitCode, 0);
    const std::string before = Database();
    game.Write("AddOns/later.pbo", "found by the next scan");
    const std::vector<std::vector<std::string>> cases = {
        {"activate", "Tanks", "Nope"},
        {"deactivate", "Nope"},
        {"files", "Nope"},
        {"bind", "Tanks", "AddOns/tank.pbo", "AddOns/none.pbo"},
        {"bind", "<Unknown files>", "notes.txt"},
        {"unbind", "Tanks", "AddOns/tank.pbo"},
        {"activate-file", "none/x.pbo"},
        {"deactivate-file", "AddOns"},
        {"frobnicate"},
    };
    for (const auto& args : cases) {
        ProgramResult result = Gantry(args);
        EXPECT_EQ(result.exitCode, 2) << args[0] << ": " << result.out;
        EXPECT_FALSE(result.err.empty()) << args[0];
    }
    EXPECT_EQ(Database(), before);
    EXPECT_TRUE(game.Exists("AddOns/tank.pbo"));
}

TEST_F(GantryCliTest, GameFolderComesFromTheSettingsFile) {
    ProgramResult none = Gantry({"scan"}, false);
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("game folder"), std::string::npos) << none.err;

    // Marker 0, version 2, one entry (four texts and its mod flag), selection -1, game folder.
    std::string sav("\0\x02\0\0\0\x01\0\0\0", 9);
    for (const char* text : {"127.0.0.1:2302", "", "Local", "-nosplash"})
        sav += std::string(text) + '\0';
    sav += '\x01';
    sav += std::string("\xff\xff\xff\xff", 4);
    std::string folder = game.Path();
    folder.back() = '\\'; // the desktop program keeps a trailing backslash
    sav += folder + '\0';
    data.Write("quillory.sav", sav);

    ProgramResult scan = Gantry({"scan"}, false);
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_NE(scan.out.find("Game folder: " + game.Path() + "\n"), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find("Files: 6\n"), std::string::npos) << scan.out;

    // A settings file cut short inside its entries names no folder.
    data.Write("quillory.sav", sav.substr(0, 20));
    EXPECT_EQ(Gantry({"scan"}, false).exitCode, 2);
}

// A stored folder is used only when it holds the game's executable, as for `launch`: "/" or a
// folder without the game is named and nothing is scanned or written.
TEST_F(GantryCliTest, AStoredFolderWithoutTheGameIsRefusedAndNothingScanned) {
    TempGameFolder noGame;
    noGame.Write("AddOns/tank.pbo", "tank");
    for (const std::string& folder : {std::string("/"), noGame.Path()}) {
        SCOPED_TRACE(folder);
        std::string sav("\0\x02\0\0\0\0\0\0\0", 9); // marker, version 2, no entries
        sav += std::string("\xff\xff\xff\xff", 4) + folder + '\0';
        data.Write("quillory.sav", sav);
        ProgramResult r = Gantry({"scan"}, false);
        EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
        EXPECT_NE(r.err.find("does not hold IRONVALE.EXE or IRONVALEUPRISING.EXE"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(data.Exists("quillory.dat"));
    }
    // Given on the command line, the folder is the player's own choice.
    EXPECT_EQ(Gantry({"--game", noGame.Path(), "scan"}, false).exitCode, 0);
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST_F(GantryCliTest, AnUnreadableDatabaseIsMovedAsideAndBuiltAnew) {
    data.Write("quillory.dat.bad", "an older bad copy");
    data.Write("quillory.dat", "not a database at all");
    ProgramResult result = Gantry({"scan"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(CountOf(result.err, "quillory.dat.bad"), 1u) << result.err;
    EXPECT_EQ(CountOf(result.err, "\n"), 1u) << result.err;
    EXPECT_NE(result.out.find("New files: 6\n"), std::string::npos) << result.out;
    EXPECT_EQ(data.Read("quillory.dat.bad"), "not a database at all");

    // The new database was saved and reads back: nothing more to say, nothing new.
    ProgramResult again = Gantry({"scan"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.err, "");
    EXPECT_NE(again.out.find("New files: 0\n"), std::string::npos) << again.out;
    EXPECT_EQ(data.Read("quillory.dat.bad"), "not a database at all");
}

TEST_F(GantryCliTest, AnUnreadableDatabaseThatCannotBeMovedIsNeverOverwritten) {
    data.Write("quillory.dat", "not a database at all");
    data.Write("quillory.dat.bad/in the way", "x");
    ProgramResult result = Gantry({"create", "Tanks"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("quillory.dat"), std::string::npos) << result.err;
    EXPECT_EQ(data.Read("quillory.dat"), "not a database at all");
}

TEST_F(GantryCliTest, TheGameFolderMayBeGivenWithoutItsSeparator) {
    std::string folder = game.Path();
    folder.pop_back();
    ProgramResult result =
        RunProgram(QUILLORY_CLI_PATH, {"gantry", "--game", folder, "--data", data.Path(), "scan"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Game folder: " + game.Path() + "\n"), std::string::npos);
    EXPECT_EQ(Gantry({"--game", game.Path() + "absent/", "scan"}, false).exitCode, 2);
}
