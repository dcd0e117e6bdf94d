#include "platform/Http.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/RandomBytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

namespace quillory::platform {
namespace {

using test::FakeHttpServer;
using test::RandomBytes;

// Collects what a transfer hands over.
struct Sink {
    std::string body;
    size_t largestBlock = 0;
    int opens = 0;
    std::optional<uint64_t> announced;

    CHttpSession::BlockHandler Blocks() {
        return [this](const char* data, size_t size) {
            body.append(data, size);
            largestBlock = std::max(largestBlock, size);
            return true;
        };
    }
    CHttpSession::OpenHandler Open() {
        return [this](std::optional<uint64_t> size) {
            ++opens;
            announced = size;
            return true;
        };
    }
};

bool CurlMapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libcurl") != std::string::npos)
            return true;
    return false;
}

// Each test runs in a process of its own, so this one sees the program as it starts.
TEST(HttpLibrary, LibcurlIsLoadedByTheFirstSessionNotAtStart) {
    EXPECT_FALSE(CurlMapped());
    CHttpSession session;
    EXPECT_TRUE(session.IsValid()) << session.Error();
    EXPECT_TRUE(CurlMapped());
}

TEST(HttpLibrary, AMissingLibraryIsAClearError) {
    HttpOptions options;
    options.library = "libquillory-absent-curl.so.4";
    CHttpSession session(CHttpSession::kAgent, options);
    EXPECT_FALSE(session.IsValid());
    HttpResult result = session.Fetch("http://127.0.0.1:1/pack.zip", [](const char*, size_t) {
        ADD_FAILURE() << "no data can come";
        return true;
    });
    EXPECT_EQ(result.status, HttpStatus::NoSession);
    EXPECT_NE(result.message.find("cannot load libquillory-absent-curl.so.4"), std::string::npos)
        << result.message;
    EXPECT_EQ(result.message, session.Error());
}

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Serve("/pack.zip", payload_);
        server_.Serve("/empty.zip", "");
        server_.Serve("/my pack.zip", "spaced");
        server_.Redirect("/moved.zip", "/pack.zip");
        server_.Redirect("/loop1", "/loop2");
        server_.Redirect("/loop2", "/loop1");
        server_.Redirect("/tofile", "file:///etc/hostname");
        server_.CutShort("/short.zip", payload_.substr(0, 5000), 4000);
        server_.Stall("/stall.zip", "head", 1000);
        server_.Ranged("/ranged.zip", payload_, "\"v1\"");
        // About 100 bytes a second: a minute to finish.
        server_.Slow("/trickle.zip", payload_.substr(0, 6000), 10, std::chrono::milliseconds(100));
        ASSERT_TRUE(server_.Start());
    }

    const std::string payload_ = RandomBytes(100003, 7);
    FakeHttpServer server_;
    CHttpSession session_;
};

TEST_F(HttpTest, BodyArrivesWholeInSmallBlocksWithItsSize) {
    Sink sink;
    HttpResult result = session_.Fetch(server_.Url("/pack.zip"), sink.Blocks(), sink.Open());
    ASSERT_TRUE(result.Ok()) << result.message;
    EXPECT_EQ(result.responseCode, 200);
    EXPECT_EQ(result.bytes, payload_.size());
    EXPECT_TRUE(sink.body == payload_);
    EXPECT_LE(sink.largestBlock, CHttpSession::kBlockSize);
    EXPECT_EQ(sink.opens, 1);
    EXPECT_EQ(sink.announced, payload_.size());
}

TEST_F(HttpTest, SpacesInTheAddressAreEscaped) {
    Sink sink;
    HttpResult result = session_.Fetch(server_.Url("/my pack.zip"), sink.Blocks(), sink.Open());
    ASSERT_TRUE(result.Ok()) << result.message;
    EXPECT_EQ(sink.body, "spaced");
}

TEST_F(HttpTest, AsksAsGantryClientForAFreshCopy) {
    Sink sink;
    ASSERT_TRUE(session_.Fetch(server_.Url("/empty.zip"), sink.Blocks(), sink.Open()).Ok());
    EXPECT_EQ(server_.HeaderSeen("/empty.zip", "User-Agent"), "Gantry Client");
    EXPECT_EQ(server_.HeaderSeen("/empty.zip", "Cache-Control"), "no-cache");
    EXPECT_EQ(server_.HeaderSeen("/empty.zip", "Pragma"), "no-cache");
    // An empty body is a complete transfer, and the receiver still hears that it began.
    EXPECT_EQ(sink.opens, 1);
    EXPECT_EQ(sink.announced, 0u);
}

TEST_F(HttpTest, RedirectsAreFollowedWithinLimitsAndSchemes) {
    Sink moved;
    HttpResult result = session_.Fetch(server_.Url("/moved.zip"), moved.Blocks(), moved.Open());
    ASSERT_TRUE(result.Ok()) << result.message;
    EXPECT_TRUE(moved.body == payload_);

    Sink loop;
    EXPECT_EQ(session_.Fetch(server_.Url("/loop1"), loop.Blocks(), loop.Open()).status,
              HttpStatus::TooManyRedirects);
    EXPECT_LE(server_.RequestCount("/loop1") + server_.RequestCount("/loop2"), 7);

    Sink file;
    EXPECT_EQ(session_.Fetch(server_.Url("/tofile"), file.Blocks(), file.Open()).status,
              HttpStatus::BadUrl);
    EXPECT_EQ(file.opens, 0);
    EXPECT_TRUE(file.body.empty());
}

TEST_F(HttpTest, FailuresAreReportedAndNeverReachTheReceiver) {
    struct Case {
        std::string url;
        HttpStatus status;
    };
    const Case cases[] = {
        {server_.Url("/absent.zip"), HttpStatus::ServerError},
        {"file:///etc/hostname", HttpStatus::BadUrl},
        {"dict://127.0.0.1/x", HttpStatus::BadUrl},
        {"127.0.0.1/pack.zip", HttpStatus::BadUrl},
        {"", HttpStatus::BadUrl},
        {"http://127.0.0.1:1/pack.zip", HttpStatus::ConnectFailed},
    };
    for (const Case& c : cases) {
        Sink sink;
        HttpResult result = session_.Fetch(c.url, sink.Blocks(), sink.Open());
        EXPECT_EQ(result.status, c.status) << c.url;
        EXPECT_FALSE(result.message.empty()) << c.url;
        EXPECT_EQ(sink.opens, 0) << c.url;
    }
    EXPECT_EQ(session_.Fetch(server_.Url("/absent.zip"), Sink().Blocks()).responseCode, 404);
}

TEST_F(HttpTest, BodyCutShortIsNotComplete) {
    Sink sink;
    HttpResult result = session_.Fetch(server_.Url("/short.zip"), sink.Blocks(), sink.Open());
    EXPECT_EQ(result.status, HttpStatus::Interrupted);
    EXPECT_EQ(sink.announced, 9000u);
    EXPECT_LE(sink.body.size(), 5000u);
}

TEST_F(HttpTest, ReceiverCanStopTheTransfer) {
    size_t received = 0;
    HttpResult result = session_.Fetch(server_.Url("/pack.zip"), [&](const char*, size_t size) {
        received += size;
        return received < 10000;
    });
    EXPECT_EQ(result.status, HttpStatus::Refused);
    EXPECT_LT(received, payload_.size());

    Sink sink;
    HttpResult refusedOpen = session_.Fetch(server_.Url("/pack.zip"), sink.Blocks(),
                                            [](std::optional<uint64_t>) { return false; });
    EXPECT_EQ(refusedOpen.status, HttpStatus::Refused);
    EXPECT_TRUE(sink.body.empty());
}

TEST_F(HttpTest, CancelStopsAStalledTransfer) {
    std::atomic<bool> cancel{false};
    Sink sink;
    auto blocks = [&](const char* data, size_t size) {
        sink.body.append(data, size);
        cancel = true; // the first block came; from now on the server says nothing
        return true;
    };
    HttpResult result =
        session_.Fetch(server_.Url("/stall.zip"), blocks, {}, [&] { return cancel.load(); });
    EXPECT_EQ(result.status, HttpStatus::Cancelled);
    EXPECT_EQ(sink.body, "head");
}

TEST_F(HttpTest, StalledBodyTimesOut) {
    HttpOptions options;
    options.stallSeconds = 1;
    CHttpSession impatient(CHttpSession::kAgent, options);
    Sink sink;
    EXPECT_EQ(impatient.Fetch(server_.Url("/stall.zip"), sink.Blocks()).status,
              HttpStatus::TimedOut);
}

TEST_F(HttpTest, TrickleBelowTheLowSpeedLimitTimesOut) {
    HttpOptions options; // the default speed limit, over a shorter window
    options.stallSeconds = 2;
    CHttpSession impatient(CHttpSession::kAgent, options);
    Sink sink;
    HttpResult result = impatient.Fetch(server_.Url("/trickle.zip"), sink.Blocks(), sink.Open());
    EXPECT_EQ(result.status, HttpStatus::TimedOut);
    EXPECT_GT(sink.body.size(), 0u); // it did deliver, only too slowly
    EXPECT_LT(sink.body.size(), 6000u);
}

TEST_F(HttpTest, ARangeIsAskedForGuardedByItsValidator) {
    struct Case {
        const char* ifRange;
        long code;
        uint64_t offset;
    };
    const Case cases[] = {
        {"\"v1\"", 206, 70000}, // the same file: the part comes
        {"\"v0\"", 200, 0},     // changed since: the whole file comes
    };
    for (const Case& c : cases) {
        Sink sink;
        HttpBodyStart seen;
        HttpRequest request;
        request.resumeFrom = 70000;
        request.ifRange = c.ifRange;
        HttpResult result = session_.Fetch(server_.Url("/ranged.zip"), request, sink.Blocks(),
                                           [&](const HttpBodyStart& start) {
                                               seen = start;
                                               return true;
                                           });
        ASSERT_TRUE(result.Ok()) << result.message;
        EXPECT_EQ(server_.HeaderSeen("/ranged.zip", "Range"), "bytes=70000-");
        EXPECT_EQ(server_.HeaderSeen("/ranged.zip", "If-Range"), c.ifRange);
        EXPECT_EQ(seen.responseCode, c.code);
        EXPECT_EQ(seen.offset, c.offset);
        EXPECT_EQ(seen.etag, "\"v1\"");
        EXPECT_EQ(seen.fileSize, payload_.size());
        EXPECT_EQ(seen.size, payload_.size() - c.offset);
        EXPECT_TRUE(sink.body == payload_.substr(c.offset));
    }
    // A whole fetch asks for no range.
    Sink whole;
    ASSERT_TRUE(session_.Fetch(server_.Url("/ranged.zip"), whole.Blocks()).Ok());
    EXPECT_EQ(server_.HeaderSeen("/ranged.zip", "Range"), "");
    EXPECT_EQ(server_.HeaderSeen("/ranged.zip", "If-Range"), "");
}

} // namespace
} // namespace quillory::platform
