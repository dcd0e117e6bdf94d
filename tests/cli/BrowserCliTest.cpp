// quillory-cli news and servers against quillory-sim's browser server on loopback.

#include "tests/support/SimRun.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace quillory::test;
using nlohmann::json;

namespace {

ProgramResult Cli(const std::vector<std::string>& args) {
    return RunProgram(QUILLORY_CLI_PATH, args, 60s);
}

std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string BrowserAt(const CSimRun& sim) {
    return "127.0.0.1:" + std::to_string(sim.BrowserPort());
}

// Sets an environment variable for the programs this test starts, and clears it again.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() { unsetenv(name_); }

private:
    const char* name_;
};

} // namespace

TEST(BrowserCli, ServersListsTheSimulatorAndItsPublicServersOnceEach) {
    // One record per datagram, and a duplicate of Alpha's address and port in a later one.
    CSimRun sim({"--browser", "--browser-port", CSimRun::kBrowserPort, "--game-type", "ironvalu",
                 "--name", "Sim Server", "--public", "Alpha@127.10.0.5:2302:7:1", "--public",
                 "Base@127.10.0.6:2402:3:0", "--public", "Alpha again@127.10.0.5:2302:1:0",
                 "--browser-split", "1"});
    ASSERT_TRUE(sim.Listening()) << sim.ListeningLine();

    ProgramResult r = Cli({"servers", "--json", "--timeout", "1500", BrowserAt(sim)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    const json self = json::parse(lines[0]);
    EXPECT_EQ(self["name"], "Sim Server");
    EXPECT_EQ(self["address"], "127.0.0.1");
    EXPECT_EQ(self["port"], sim.Port());
    EXPECT_EQ(self["uprising"], true);
    EXPECT_EQ(json::parse(lines[1]),
              json::parse(R"({"name":"Alpha","players":7,"address":"127.10.0.5","port":2302,)"
                          R"("uprising":true})"));
    EXPECT_EQ(json::parse(lines[2])["name"], "Base");

    r = Cli({"servers", "--game", "ironvale", "--timeout", "1000", BrowserAt(sim)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Base\t3\t127.10.0.6:2402\tironvale\n");

    r = Cli({"servers", "--game", "uprising", "--timeout", "1000", BrowserAt(sim)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 2u) << r.out;
}

TEST(BrowserCli, NewsTextsAndTheUpgradeOfferInAnyCase) {
    CSimRun sim({"--browser", "--browser-port", CSimRun::kBrowserPort, "--news", "Version 2 is out",
                 "--news-link", "Get it", "--upgrade-file", "http://127.0.0.1/quillory.OZP"});
    ASSERT_TRUE(sim.Listening()) << sim.ListeningLine();

    ProgramResult r = Cli({"news", "--json", BrowserAt(sim)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(
        json::parse(r.out),
        json::parse(R"({"news":"Version 2 is out","link":"Get it",)"
                    R"("upgradeFile":"http://127.0.0.1/quillory.OZP","upgradeOffered":true})"));

    // Without HOST, QUILLORY_BROWSER names the browser server.
    ScopedEnvironment browser("QUILLORY_BROWSER", BrowserAt(sim));
    r = Cli({"news"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "News: Version 2 is out\nLink: Get it\n"
                     "Upgrade file: http://127.0.0.1/quillory.OZP\nUpgrade offered: yes\n");
}

TEST(BrowserCli, UpgradeArchiveIsOfferedAndServedFromThePackageHost) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("quillory-browser-cli-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string archive = (folder / "quillory.ozp").string();
    const std::string bytes = "PK\x03\x04 not really a zip, but bytes to serve";
    std::ofstream(archive, std::ios::binary) << bytes;

    CSimRun sim({"--browser", "--browser-port", CSimRun::kBrowserPort, "--news-link", "Upgrade",
                 "--upgrade-archive", archive, "--http-port", CSimRun::kHttpPort});
    ASSERT_TRUE(sim.Listening()) << sim.ListeningLine();
    ProgramResult r = Cli({"news", "--json", BrowserAt(sim)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string link = "http://127.0.0.1:" + std::to_string(sim.HttpPort()) + "/quillory.ozp";
    const json news = json::parse(r.out);
    EXPECT_EQ(news["upgradeFile"], link);
    EXPECT_EQ(news["upgradeOffered"], true);

    httplib::Client http("127.0.0.1", sim.HttpPort());
    auto got = http.Get("/quillory.ozp");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->status, 200);
    EXPECT_EQ(got->body, bytes);
    EXPECT_EQ(http.Get("/other.zip")->status, 404);
    std::filesystem::remove_all(folder);
}

TEST(BrowserCli, NoReplyAndBadUsage) {
    const int silent = FreePortBlock(1);
    const std::string nobody = "127.0.0.1:" + std::to_string(silent);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"news", "--timeout", "300", nobody}, 1},
        {{"servers", "--timeout", "300", nobody}, 1},
        {{"servers", "--game", "both", nobody}, 2},
        {{"servers", "--game"}, 2},
        {{"news", "--timeout", "soon", nobody}, 2},
        {{"news", nobody, nobody}, 2},
        {{"news", "127.0.0.1:0"}, 2},
        {{"news", "--game", "all", nobody}, 2},
        {{"servers", "--verbose", nobody}, 2},
    };
    for (const auto& c : cases) {
        ProgramResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0] << " " << c.args[1] << "\n" << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(BrowserSim, OptionsThatNeedTheBrowserServerOrAreMalformed) {
    const std::vector<std::vector<std::string>> bad = {
        {"--news-link", "x"},
        {"--public", "A@127.10.0.1:2302:1:0"},
        {"--browser", "--public", "A@127.10.0.1:2302:1"},
        {"--browser", "--public", "A@127.10.0.300:2302:1:0"},
        {"--browser", "--public", "A@127.10.0.1:2302:256:0"},
        {"--browser", "--public", "no at sign"},
        {"--browser", "--upgrade-archive", "/tmp/quillory.ozp"},
        {"--browser", "--browser-port", "2302"},
    };
    for (const auto& args : bad) {
        ProgramResult r = RunProgram(QUILLORY_SIM_PATH, args, 20s);
        EXPECT_EQ(r.exitCode, 2) << args[0] << " " << args[1] << "\n" << r.err;
    }
}

TEST(BrowserCli, ServersLiveAsksEveryListedServerAndMarksTheSilentOnes) {
    CSimRun sim({"--browser", "--browser-port", CSimRun::kBrowserPort, "--browser-no-self",
                 "--public-sims", "200", "--public-silent", "20"});
    ASSERT_TRUE(sim.Listening()) << sim.ListeningLine();
    EXPECT_NE(sim.ListeningLine().find("220 public servers (20 silent)"), std::string::npos)
        << sim.ListeningLine();

    const ProgramResult r =
        Cli({"servers", "--live", "--json", "--timeout", "5000", BrowserAt(sim)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 220u) << r.out;
    int live = 0, silent = 0;
    std::set<int> ports;
    for (const std::string& line : lines) {
        const json server = json::parse(line);
        ports.insert(server["port"].get<int>());
        const std::string name = server["name"];
        if (name.rfind("Silent Server ", 0) == 0) {
            ++silent;
            EXPECT_EQ(server["error"], "No reply") << line;
            EXPECT_FALSE(server.contains("ping")) << line;
            continue;
        }
        ++live;
        ASSERT_FALSE(server.contains("error")) << line;
        for (const char* key :
             {"ping", "maxPlayers", "map", "mission", "status", "version", "locked", "players"})
            EXPECT_TRUE(server.contains(key)) << key << " in " << line;
        EXPECT_GE(server["ping"].get<int>(), 0) << line;
        EXPECT_NE(server["map"], "") << line;
        EXPECT_NE(server["status"], "") << line;
        EXPECT_LE(server["players"].get<int>(), std::stoi(server["maxPlayers"].get<std::string>()))
            << line;
    }
    EXPECT_EQ(live, 200);
    EXPECT_EQ(silent, 20);
    EXPECT_EQ(ports.size(), 220u) << "each server on a port of its own";
}

TEST(BrowserCli, ServersLiveTextLinesGoOnWithWhatEachServerSaid) {
    CSimRun sim({"--browser", "--browser-port", CSimRun::kBrowserPort, "--name", "Sim Server",
                 "--map", "Ridge", "--mission", "Night Convoy", "--players", "0", "--max-players",
                 "12", "--password-flag", "--public-silent", "1"});
    ASSERT_TRUE(sim.Listening()) << sim.ListeningLine();

    const ProgramResult r = Cli({"servers", "--live", "--timeout", "3000", BrowserAt(sim)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    // name, players, address, game, then ping, max players, map, mission, status, version, lock.
    std::vector<std::string> fields;
    std::istringstream first(lines[0]);
    for (std::string field; std::getline(first, field, '\t');)
        fields.push_back(field);
    ASSERT_EQ(fields.size(), 11u) << lines[0];
    EXPECT_EQ(fields[0], "Sim Server");
    EXPECT_EQ(fields[2], sim.Address());
    EXPECT_EQ(fields[5], "12");
    EXPECT_EQ(fields[6], "Ridge");
    EXPECT_EQ(fields[7], "Night Convoy");
    EXPECT_EQ(fields[9], "196");
    EXPECT_EQ(fields[10], "locked");
    EXPECT_EQ(lines[1].substr(0, lines[1].find('\t')), "Silent Server 1");
    EXPECT_EQ(lines[1].substr(lines[1].rfind('\t') + 1), "No reply");
}
