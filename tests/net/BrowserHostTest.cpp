// The browser host: the unscrambling routine, the built-in name and the run-time override.
#include "net/BrowserHost.h"

#include <gtest/gtest.h>

using namespace quillory;

TEST(BrowserHost, UnscramblingSkipsFillersAndLowersTheRestByTwo) {
    // "b" is 0x62, stored as 0x64 "d"; "." is 0x2E, stored as 0x30 "0".
    EXPECT_EQ(UnscrambleHostName("dt\x02qy\x02\x02ugt0pgv"), "browser.net");
    EXPECT_EQ(UnscrambleHostName("\x02\x02"), "");
    EXPECT_EQ(UnscrambleHostName(""), "");
    // Reading ends at the terminator, not at the end of the buffer.
    const char stored[] = {'j', 'q', '\0', 'x', 'x', '\0'};
    EXPECT_EQ(UnscrambleHostName(stored), "ho");
}

TEST(BrowserHost, BuiltInNameIsTheConfiguredOne) {
    EXPECT_EQ(BuiltInBrowserHost(), QUILLORY_BROWSER_HOST);
}

TEST(BrowserHost, EndpointTextsAndTheOverride) {
    struct Case {
        const char* text;
        bool good;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        {"127.0.0.1:48200", true, "127.0.0.1", 48200},
        {"localhost", true, "localhost", 48124},
        {"h:65535", true, "h", 65535},
        {"h:0", false, "", 0},
        {"h:65536", false, "", 0},
        {"h:", false, "", 0},
        {"h:12x", false, "", 0},
        {"h:-5", false, "", 0},
        {":48124", false, "", 0},
        {"", false, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto endpoint = ParseBrowserEndpoint(c.text);
        ASSERT_EQ(endpoint.has_value(), c.good);
        if (c.good) {
            EXPECT_EQ(endpoint->host, c.host);
            EXPECT_EQ(endpoint->port, c.port);
        }
        // A bad override falls back to the built-in host on the browser port.
        const BrowserEndpoint chosen = ChooseBrowserEndpoint(c.text);
        EXPECT_EQ(chosen.host, c.good ? String(c.host) : BuiltInBrowserHost());
        EXPECT_EQ(chosen.port, c.good ? c.port : 48124);
    }
    EXPECT_EQ(ChooseBrowserEndpoint(nullptr).host, BuiltInBrowserHost());
}
