// Server addresses as the user types them: split into host and port, then resolved.
#include "net/ServerAddress.h"
#include "platform/UdpSocket.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillory;

TEST(ServerAddress, SplitsHostAndPortAsTyped) {
    struct Case {
        String text, host, portText;
        uint32_t port;
    };
    const std::vector<Case> cases = {
        {"127.10.0.5:2302", "127.10.0.5", "2302", 2302},
        {"localhost", "localhost", "0", 0},
        {" host : 2400 ", "host", "2400", 2400},
        {"host:abc", "host", "abc", 0},
        {"host:12x", "host", "12x", 12},
        {"host:", "host", "", 0},
        {"a:1:2", "a", "1:2", 1},
    };
    for (const auto& c : cases) {
        ServerAddress a = SplitServerAddress(c.text);
        EXPECT_EQ(a.host, c.host) << c.text;
        EXPECT_EQ(a.portText, c.portText) << c.text;
        EXPECT_EQ(a.port, c.port) << c.text;
    }
}

TEST(ServerAddress, ResolvesDottedAndNamedHostsAndRefusesTheRest) {
    auto dotted = ResolveServerAddress("127.0.0.1:2302");
    ASSERT_TRUE(dotted);
    EXPECT_EQ(dotted->address, LoopbackAddress());
    EXPECT_EQ(dotted->port, 2302);
    auto named = ResolveServerAddress("localhost");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->port, 0);
    EXPECT_FALSE(ResolveServerAddress(""));
    EXPECT_FALSE(ResolveServerAddress(":2302"));
    EXPECT_FALSE(ResolveServerAddress("127.0.0.1:70000"));
    EXPECT_FALSE(ResolveServerAddress("no-such-host!"));
}
