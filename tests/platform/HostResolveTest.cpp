#include "platform/HostResolve.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

using namespace quillory;

namespace {

TEST(HostResolveTest, OnlyTextsThatCanBeHostNamesAreLookedUp) {
    struct Case {
        std::string host;
        bool name;
    } cases[] = {
        {"localhost", true},
        {"vale-server.example", true},
        {"a_b.c", true},
        {"end.with.dot.", true},
        {std::string(63, 'a') + ".b", true},
        {"", false},
        {".", false},
        {"no such host", false},
        {"bang!host", false},
        {"two..dots", false},
        {".leading", false},
        {"semi;colon", false},
        {"tab\thost", false},
        {"caf\xc3\xa9", false},
        {std::string(64, 'a') + ".b", false},
        {std::string(254, 'a'), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsHostNameSyntax(c.host), c.name) << c.host;
}

TEST(HostResolveTest, DottedAddressesNeedNoLookupAndBadNamesGetNone) {
    EXPECT_EQ(ResolveHost("127.0.0.5"), inet_addr("127.0.0.5"));
    EXPECT_EQ(ResolveHost("localhost"), inet_addr("127.0.0.1"));
    // Refused before the resolver is asked: no query leaves the machine.
    for (const char* bad : {"", "no such host", "bang!host", "two..dots"})
        EXPECT_EQ(ResolveHost(bad), ADDRESS_NONE) << bad;
}

} // namespace
