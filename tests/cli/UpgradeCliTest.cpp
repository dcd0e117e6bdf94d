// quillory-cli upgrade against quillory-sim's browser server and package host on loopback,
// with archives signed by the real minisign.

#include "tests/support/MinisignKeys.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SimRun.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

using namespace quillory::test;
namespace fs = std::filesystem;

namespace {

class UpgradeCli : public ::testing::Test {
protected:
    ScratchFolder scratch;
    fs::path program = scratch.Path() / "program";
    MinisignKeys keys{scratch.Path() / "keys"};
    fs::path archive = scratch.Path() / "host" / "quillory-0.97.ozp";

    void SetUp() override {
        ASSERT_TRUE(keys.Ok());
        setenv("QUILLORY_UPGRADE_KEY", keys.PublicKeyFile().c_str(), 1);
        fs::create_directories(program);
        fs::create_directories(archive.parent_path());
        ASSERT_TRUE(WriteFileBytes(program / "quillory", "old program"));
        ASSERT_TRUE(WriteFileBytes(program / "quillory-cli", "old cli"));
    }
    void TearDown() override { unsetenv("QUILLORY_UPGRADE_KEY"); }

    // The signed archive and the simulator offering it; `extra` are more simulator options.
    std::unique_ptr<CSimRun> Offer(const std::string& payload,
                                   std::vector<std::string> extra = {}) {
        EXPECT_TRUE(ZipBuilder()
                        .AddUnix("quillory", payload, S_IFREG | 0755)
                        .Add("readme.txt", "new readme")
                        .Write(archive.string()));
        const auto signature = keys.Sign(archive);
        EXPECT_TRUE(signature.has_value());
        EXPECT_TRUE(WriteFileBytes(scratch.Path() / "archive.minisig", signature.value_or("")));
        std::vector<std::string> args = {"--browser",
                                         "--browser-port",
                                         CSimRun::kBrowserPort,
                                         "--http-port",
                                         CSimRun::kHttpPort,
                                         "--news-link",
                                         "Upgrade to 0.97",
                                         "--upgrade-archive",
                                         archive.string(),
                                         "--upgrade-signature",
                                         (scratch.Path() / "archive.minisig").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        auto sim = std::make_unique<CSimRun>(args);
        EXPECT_TRUE(sim->Listening()) << sim->Process().Err();
        return sim;
    }

    static std::string BrowserAt(const CSimRun& sim) {
        return "127.0.0.1:" + std::to_string(sim.BrowserPort());
    }

    std::string Link(const CSimRun& sim) const {
        return "http://127.0.0.1:" + std::to_string(sim.HttpPort()) + "/quillory-0.97.ozp";
    }

    std::string Contents(const fs::path& path) const {
        std::string bytes;
        ReadFileBytes(path, bytes);
        return bytes;
    }

    ProgramResult Cli(const std::vector<std::string>& args) const {
        return RunProgram(QUILLORY_CLI_PATH, args, 60s);
    }
};

} // namespace

TEST_F(UpgradeCli, UpgradesTheFolderNamed) {
    auto sim = Offer("new program");
    const ProgramResult r = Cli({"upgrade", "--program-folder", program.string(), BrowserAt(*sim)});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Connecting\n"), std::string::npos);
    EXPECT_NE(r.out.find("100% downloaded\n"), std::string::npos);
    EXPECT_NE(r.out.find("Extracting files\nRestart\n"), std::string::npos);
    EXPECT_EQ(Contents(program / "quillory"), "new program");
    EXPECT_EQ(Contents(program / "quillory-cli"), "old cli");
    EXPECT_EQ(Contents(program / "readme.txt"), "new readme");
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(scratch.Path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"archive.minisig", "host", "keys", "program"}))
        << "no staging folder is left";
}

TEST_F(UpgradeCli, ABadSignatureChangesNothing) {
    auto sim = Offer("tampered program", {"--upgrade-bad-signature"});
    const ProgramResult r = Cli({"upgrade", "--program-folder", program.string(), BrowserAt(*sim)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: signature\n");
    EXPECT_EQ(Contents(program / "quillory"), "old program");
    EXPECT_EQ(std::distance(fs::directory_iterator(program), fs::directory_iterator()), 2);
}

TEST_F(UpgradeCli, CheckSaysWhatItWouldDo) {
    auto sim = Offer("new program");
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"upgrade", "--check", "--program-folder", program.string(), BrowserAt(*sim)},
         "upgrade offered: " + Link(*sim) + "\n"},
        // A folder under /usr belongs to the package manager: nothing is fetched or written.
        {{"upgrade", "--check", "--program-folder", "/usr/lib", BrowserAt(*sim)},
         "installed by the package manager\n"},
    };
    for (const auto& c : cases) {
        const ProgramResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    const ProgramResult refused = Cli({"upgrade", "--program-folder", "/usr/lib", BrowserAt(*sim)});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "Quillory 0.97 is available. Update it with your system's package "
                           "manager.\n");
    EXPECT_EQ(Contents(program / "quillory"), "old program");

    CSimRun plain({"--browser", "--browser-port", CSimRun::kBrowserPort});
    ASSERT_TRUE(plain.Listening());
    const ProgramResult none =
        Cli({"upgrade", "--program-folder", program.string(), BrowserAt(plain)});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "no upgrade offered\n");
}

TEST_F(UpgradeCli, BadUsage) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"upgrade", "--program-folder"},
          std::vector<std::string>{"upgrade", "--json"},
          std::vector<std::string>{"upgrade", "127.0.0.1", "127.0.0.2"}}) {
        const ProgramResult r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("upgrade [--program-folder DIR]"), std::string::npos) << r.err;
    }
}

TEST_F(UpgradeCli, SigtermDuringTheDownloadCancelsIt) {
    auto sim = Offer(std::string(200000, 'p'), {"--http-rate", "2000"});
    CChildProcess cli;
    ASSERT_TRUE(cli.Start(QUILLORY_CLI_PATH,
                          {"upgrade", "--program-folder", program.string(), BrowserAt(*sim)}));
    std::string line;
    do
        ASSERT_TRUE(cli.ReadLine(line, 10s)) << cli.Err();
    while (line.find("downloaded") == std::string::npos);
    EXPECT_EQ(cli.Stop(SIGTERM), 1);
    EXPECT_NE(cli.Err().find("Upgrade cancelled"), std::string::npos) << cli.Err();
    EXPECT_EQ(Contents(program / "quillory"), "old program");
    EXPECT_FALSE(fs::exists(program / ".quillory-upgrade.ozp"));
}
