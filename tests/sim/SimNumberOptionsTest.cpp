// quillory-sim's number options: decimal digits within the option's range, nothing else.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace quillory::test;

TEST(SimNumberOptions, ANegativeANonDigitAndAnOverflowAreBadValues) {
    struct Case {
        const char* option;
        const char* value;
    } cases[] = {
        {"--port", "-1"},        {"--port", "2302x"},      {"--port", "65536"},
        {"--port", "0x900"},     {"--seed", "-1"},         {"--seed", "4294967296"},
        {"--players", "-0x1"},   {"--players", "65"},      {"--round-seconds", "1e3"},
        {"--fragments", " 2"},   {"--http-cut-at", "-5"},  {"--version", "2147483648"},
        {"--browser-split", ""}, {"--gantry-drop", "101"}, {"--gantry-chunk-size", "15"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = RunProgram(QUILLORY_SIM_PATH, {c.option, c.value});
        const std::string reason = std::string("bad value '") + c.value + "' for " + c.option;
        EXPECT_EQ(r.exitCode, 2) << reason;
        EXPECT_NE(r.err.find("quillory-sim: " + reason + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << reason;
    }
}

// A leading zero is still decimal: 010 is ten, never eight.
TEST(SimNumberOptions, LeadingZerosAreDecimal) {
    const ProgramResult r = RunProgram(
        QUILLORY_SIM_PATH, {"--port", "02302", "--query-port", "2302"}, std::chrono::seconds(10));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--query-port must differ from the game port"), std::string::npos)
        << r.err;
}
