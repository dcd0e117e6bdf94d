#include "platform/PageBlock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

using quillory::platform::CPageBlock;

namespace {

// The VmFlags line of the mapping that holds `address`, from /proc/self/smaps; empty when none
// does.
std::string FlagsOfMappingAt(const void* address) {
    const auto wanted = reinterpret_cast<uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        uintptr_t start = 0, end = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> start >> dash >> end && dash == '-') {
            inside = start <= wanted && wanted < end;
            continue;
        }
        if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return std::string();
}

// Every byte can be written and read back, the first and the last included.
void ExpectWholeBlockUsable(const CPageBlock& block) {
    ASSERT_NE(block.Data(), nullptr);
    std::memset(block.Data(), 0x5A, block.Size());
    EXPECT_EQ(block.Data()[0], std::byte{0x5A});
    EXPECT_EQ(block.Data()[block.Size() - 1], std::byte{0x5A});
}

} // namespace

TEST(PageBlockTest, SizesBelowTheLargeBlockComeFromTheHeapWithTheirOwnSize) {
    for (size_t bytes : {size_t(1), size_t(4096), CPageBlock::LARGE_BLOCK - 1}) {
        CPageBlock block(bytes);
        EXPECT_FALSE(block.Mapped()) << bytes;
        EXPECT_EQ(block.Size(), bytes);
        ExpectWholeBlockUsable(block);
    }
}

TEST(PageBlockTest, LargeBlocksAreAlignedRoundedUpAndMarkedForHugePages) {
    if (!std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled"))
        GTEST_SKIP() << "this kernel has no huge pages to ask for";
    const struct {
        size_t asked;
        size_t given;
    } cases[] = {
        {CPageBlock::LARGE_BLOCK, CPageBlock::LARGE_BLOCK},
        {CPageBlock::LARGE_BLOCK + 1, 2 * CPageBlock::LARGE_BLOCK},
        {3 * CPageBlock::LARGE_BLOCK - 4096, 3 * CPageBlock::LARGE_BLOCK},
    };
    for (const auto& c : cases) {
        CPageBlock block(c.asked);
        ASSERT_TRUE(block.Mapped()) << c.asked;
        EXPECT_EQ(block.Size(), c.given);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block.Data()) % CPageBlock::LARGE_BLOCK, 0u);
        ExpectWholeBlockUsable(block);
        // "hg": the kernel was asked for huge pages over the block, first byte to last.
        const std::string first = FlagsOfMappingAt(block.Data());
        const std::string last = FlagsOfMappingAt(block.Data() + block.Size() - 1);
        EXPECT_NE(first.find(" hg"), std::string::npos) << first;
        EXPECT_EQ(first, last);
    }
}

TEST(PageBlockTest, TheMappingGoesWithTheBlock) {
    const void* data = nullptr;
    {
        CPageBlock block(CPageBlock::LARGE_BLOCK);
        data = block.Data();
        ASSERT_FALSE(FlagsOfMappingAt(data).empty());
    }
    // Whatever the address holds now (most likely nothing), it is not the block's mapping.
    EXPECT_EQ(FlagsOfMappingAt(data).find(" hg"), std::string::npos);
}

TEST(PageBlockTest, MovingHandsTheMemoryOver) {
    CPageBlock large(CPageBlock::LARGE_BLOCK);
    std::byte* data = large.Data();
    CPageBlock moved(std::move(large));
    EXPECT_EQ(moved.Data(), data);
    EXPECT_TRUE(moved.Mapped());
    EXPECT_EQ(large.Data(), nullptr); // NOLINT(bugprone-use-after-move): the moved-from state
    EXPECT_EQ(large.Size(), 0u);

    CPageBlock small(64);
    small = std::move(moved);
    EXPECT_EQ(small.Data(), data);
    EXPECT_EQ(small.Size(), CPageBlock::LARGE_BLOCK);
    ExpectWholeBlockUsable(small);
}
