// The payload inflated a window at a time: every byte arrives once, in order, across refills and
// growth, and a stream that does not match its header is refused.
#include "gantry/db/PayloadWindow.h"

#include "DatabaseBytes.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>
#include <string>

namespace quillory {
namespace {

// Bytes that do not repeat in a short cycle, so that a byte out of place shows.
std::string Pattern(size_t n) {
    std::string text(n, '\0');
    uint32_t seed = 7;
    for (auto& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return text;
}

class PayloadWindowTest : public ::testing::Test {
protected:
    // Opens a file of `bytes`, positioned at its start.
    CFileHandle& FileOf(const std::string& bytes) {
        const std::string path = folder / "payload";
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        EXPECT_TRUE(file.Open(path, CFileHandle::MODE_READ));
        return file;
    }

    // Takes `step` bytes at a time (refilling when fewer are there) until nothing more comes.
    static std::string TakeAll(CPayloadWindow& window, size_t step) {
        std::string taken;
        for (;;) {
            while (static_cast<size_t>(window.End() - window.At()) < step)
                if (!window.Refill())
                    return taken + std::string(reinterpret_cast<const char*>(window.At()),
                                               static_cast<size_t>(window.End() - window.At()));
            taken.append(reinterpret_cast<const char*>(window.At()), step);
            window.Consume(window.At() + step);
        }
    }

    test::ScratchFolder folder;
    CFileHandle file;
};

TEST_F(PayloadWindowTest, EveryByteArrivesOnceInOrderWhateverTheWindowAndStep) {
    const std::string plain = Pattern(100000);
    const std::string packed = test::Deflate(plain);
    struct Case {
        size_t window;
        size_t step;
    } cases[] = {{1, 1}, {16, 5}, {64, 64}, {100, 300}, {4096, 7}, {1 << 20, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.window) + "/" + std::to_string(c.step));
        CPayloadWindow window(c.window);
        ASSERT_TRUE(window.Start(FileOf(packed), uint32_t(plain.size())));
        const std::string taken = TakeAll(window, c.step);
        EXPECT_EQ(taken.size(), plain.size());
        EXPECT_TRUE(taken == plain);
        // TakeAll stops with the last partial step still in the window.
        window.Consume(window.End());
        EXPECT_EQ(window.Remaining(), 0u);
        EXPECT_TRUE(window.Finish());
    }
}

TEST_F(PayloadWindowTest, ARecordLargerThanTheWindowGrowsIt) {
    const std::string plain = Pattern(5000);
    CPayloadWindow window(64);
    ASSERT_TRUE(window.Start(FileOf(test::Deflate(plain)), uint32_t(plain.size())));
    while (static_cast<size_t>(window.End() - window.At()) < plain.size())
        ASSERT_TRUE(window.Refill());
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(window.At()), plain.size()) == plain);
    window.Consume(window.End());
    EXPECT_TRUE(window.Finish());
}

TEST_F(PayloadWindowTest, AStreamThatDoesNotMatchItsHeaderIsRefused) {
    const std::string plain = Pattern(3000);
    const std::string packed = test::Deflate(plain);
    std::string badChecksum = packed;
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 1);
    struct Case {
        const char* what;
        std::string bytes;
        uint32_t length;
    } cases[] = {
        {"longer than the header says", packed, 2999},
        {"shorter than the header says", packed, 3001},
        {"cut short", packed.substr(0, packed.size() - 10), 3000},
        {"checksum broken", badChecksum, 3000},
        {"bytes after the stream", packed + "x", 3000},
        {"not zlib at all", std::string(100, 'x'), 3000},
        {"nothing", "", 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPayloadWindow window(256);
        ASSERT_TRUE(window.Start(FileOf(c.bytes), c.length));
        const std::string taken = TakeAll(window, 100);
        window.Consume(window.End());
        // Either the bytes stop before the length, or the end is refused.
        EXPECT_FALSE(taken.size() == c.length && window.Finish());
    }
}

TEST_F(PayloadWindowTest, FinishRefusesBytesNotYetTaken) {
    const std::string plain = Pattern(1000);
    CPayloadWindow window(4096);
    ASSERT_TRUE(window.Start(FileOf(test::Deflate(plain)), uint32_t(plain.size())));
    ASSERT_TRUE(window.Refill());
    window.Consume(window.End() - 1);
    EXPECT_EQ(window.Remaining(), 1u);
    EXPECT_FALSE(window.Finish());
}

} // namespace
} // namespace quillory
