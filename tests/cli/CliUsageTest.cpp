// Bad command lines of every quillory-cli command: exit code 2, the reason and the command's
// usage on stderr, nothing on stdout, and nothing looked at or sent before the line is read.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillory::test;

namespace {

// Folders that do not exist: a gantry command that got as far as looking for them would say so.
const std::vector<std::string> kGantry = {"gantry", "--data", "/nonexistent/quillory", "--game",
                                          "/nonexistent/game"};

struct Case {
    std::vector<std::string> args;
    const char* reason; // what stderr says first, after "quillory-cli: "
    const char* usage;  // a line of the usage that follows it
};

std::vector<std::string> Gantry(std::vector<std::string> args) {
    std::vector<std::string> all = kGantry;
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

void ExpectBadUsage(const Case& c) {
    const ProgramResult r = RunProgram(QUILLORY_CLI_PATH, c.args);
    const std::string what = c.args[0] + " " + (c.args.size() > 1 ? c.args.back() : "");
    EXPECT_EQ(r.exitCode, 2) << what << "\n" << r.err;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_TRUE(r.err.starts_with(std::string("quillory-cli: ") + c.reason)) << what << "\n"
                                                                             << r.err;
    EXPECT_NE(r.err.find(std::string("\nusage: quillory-cli ") + c.usage), std::string::npos)
        << what << "\n"
        << r.err;
}

} // namespace

TEST(CliUsage, EveryCommandRefusesABadCommandLine) {
    const Case cases[] = {
        {{"query"}, "ADDRESS is required", "query [--timeout MS]"},
        {{"query", "--bogus", "127.0.0.1"}, "unknown option --bogus", "query"},
        {{"query", "127.0.0.1", "--timeout"}, "--timeout needs a value", "query"},
        {{"watch"}, "ADDRESS is required", "watch [--json]"},
        {{"watch", "--friend"}, "--friend needs a value", "watch"},
        {{"watch", "-x", "127.0.0.1"}, "unknown option -x", "watch"},
        {{"launch"}, "ADDRESS is required", "launch [--data DIR]"},
        {{"launch", "--params"}, "--params needs a value", "launch"},
        {{"launch", "127.0.0.1", "127.0.0.2"}, "unexpected '127.0.0.2'", "launch"},
        {{"news", "127.0.0.1", "127.0.0.2"}, "unexpected '127.0.0.2'", "news [--json]"},
        {{"news", ""}, "HOST", "news"},
        {{"news", "--game", "all"}, "unknown option --game", "news"},
        {{"servers", "--game", "quake"}, "--game", "servers [--live] [--json]"},
        {{"servers", "--game", "1"}, "--game", "servers"},
        {{"servers", "--bogus"}, "unknown option --bogus", "servers"},
        {{"gantry", "--bogus"}, "unknown option --bogus", "gantry [--game DIR] [--data DIR]"},
        {{"gantry", "--game"}, "--game needs a value", "gantry"},
        {{"gantry", "frobnicate"}, "unknown gantry command 'frobnicate'", "gantry"},
    };
    for (const Case& c : cases)
        ExpectBadUsage(c);
}

TEST(CliUsage, EveryGantryCommandRefusesABadCommandLineBeforeLookingForFolders) {
    const Case cases[] = {
        {Gantry({"scan", "extra"}), "unexpected 'extra'", "gantry [--game DIR] [--data DIR] scan"},
        {Gantry({"packages", "extra"}), "unexpected 'extra'",
         "gantry [--game DIR] [--data DIR] packages"},
        {Gantry({"files", "A", "B"}), "unexpected 'B'", "gantry [--game DIR] [--data DIR] files"},
        {Gantry({"activate", "A", "--yes"}), "unknown option --yes",
         "gantry [--game DIR] [--data DIR] activate"},
        {Gantry({"deactivate", "A", "--bogus"}), "unknown option --bogus",
         "gantry [--game DIR] [--data DIR] deactivate"},
        {Gantry({"uninstall", "A", "--json"}), "unknown option --json",
         "gantry [--game DIR] [--data DIR] uninstall"},
        {Gantry({"dissolve", "A", "--json"}), "unknown option --json",
         "gantry [--game DIR] [--data DIR] dissolve"},
        {Gantry({"activate-file", "--json"}), "unknown option --json",
         "gantry [--game DIR] [--data DIR] activate-file"},
        {Gantry({"deactivate-file", "--yes"}), "unknown option --yes",
         "gantry [--game DIR] [--data DIR] deactivate-file"},
        {Gantry({"create", "A", "B"}), "unexpected 'B'", "gantry [--game DIR] [--data DIR] create"},
        {Gantry({"create", "A", "--home"}), "--home needs a value",
         "gantry [--game DIR] [--data DIR] create"},
        {Gantry({"bind", "A", "--yes"}), "unknown option --yes",
         "gantry [--game DIR] [--data DIR] bind"},
        {Gantry({"unbind", "A", "--yes"}), "unknown option --yes",
         "gantry [--game DIR] [--data DIR] unbind"},
        {Gantry({"offered"}), "ADDRESS is required", "gantry [--game DIR] [--data DIR] offered"},
        {Gantry({"offered", "127.0.0.1", "127.0.0.2"}), "unexpected '127.0.0.2'",
         "gantry [--game DIR] [--data DIR] offered"},
        {Gantry({"install", "a.zip", "--yes"}), "unknown option --yes",
         "gantry [--game DIR] [--data DIR] install"},
        {Gantry({"sync", "--only", "alpha"}), "ADDRESS is required",
         "gantry [--game DIR] [--data DIR] sync"},
        {Gantry({"sync", "--password"}), "--password needs a value",
         "gantry [--game DIR] [--data DIR] sync"},
        {Gantry({"verify", "--bogus"}), "unknown option --bogus",
         "gantry [--game DIR] [--data DIR] verify"},
    };
    for (const Case& c : cases)
        ExpectBadUsage(c);
}

// Every number option takes digits only, at most twelve of them.
TEST(CliUsage, NumberOptionsTakeDigitsOnly) {
    const std::vector<std::vector<std::string>> options = {{"query", "--timeout"},
                                                           {"watch", "--duration"},
                                                           {"news", "--timeout"},
                                                           {"servers", "--timeout"}};
    for (const auto& option : options) {
        for (const char* bad :
             {"-5", "+5", "5s", "0x10", " 5", "", "1000000000000", "0999999999999"}) {
            const Case c = {
                {option[0], option[1], bad, "127.0.0.1"}, option[1].c_str(), option[0].c_str()};
            ExpectBadUsage(c);
        }
    }
}
