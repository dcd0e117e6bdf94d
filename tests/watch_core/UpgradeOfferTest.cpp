// What the front ends say and open about an offered upgrade.
#include "watch/core/UpgradeOffer.h"

#include <gtest/gtest.h>

using namespace quillory;

TEST(UpgradeOfferTest, TheOfferedVersion) {
    struct Case {
        const char* caption;
        const char* link;
        const char* version;
    } cases[] = {
        {"Upgrade to 0.97", "http://127.0.0.1/quillory.ozp", "0.97"},
        {"Upgrade to 0.97.", "", "0.97"},
        {"Quillory 1.0 is out", "", "1.0"},
        {"New version", "http://127.0.0.1/quillory-0.9.7.ozp", "0.9.7"},
        {"New version", "http://127.0.0.1/quillory.ozp", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OfferedVersion(c.caption, c.link), c.version) << c.caption << " " << c.link;
    EXPECT_EQ(PackageManagerText("0.97"),
              "Quillory 0.97 is available. Update it with your system's package manager.");
}

TEST(UpgradeOfferTest, TheDownloadPageAndWhatMayBeOpened) {
    EXPECT_EQ(DownloadPage("http://127.0.0.1:3100/rel/quillory.ozp"), "http://127.0.0.1:3100/rel/");
    EXPECT_EQ(DownloadPage("https://127.0.0.1/news.html"), "https://127.0.0.1/news.html");
    for (const char* good : {"http://127.0.0.1/", "HTTPS://127.0.0.1/x"})
        EXPECT_TRUE(IsBrowserLink(good)) << good;
    for (const char* bad : {"file:///etc/passwd", "ftp://127.0.0.1/", "javascript:alert(1)",
                            "/home/user", "", "http:/x", "smb://127.0.0.1/share"})
        EXPECT_FALSE(IsBrowserLink(bad)) << bad;
}
