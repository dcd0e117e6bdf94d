// Reading a whole file that someone else may have put in place: only regular files, and only
// up to a size the caller names.
#include "common/FileHandle.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

using namespace quillory;
using quillory::test::ScratchFolder;
using quillory::test::WriteFileBytes;

TEST(ReadRegularFile, ReadsFilesUpToTheLimitAndRefusesLarger) {
    ScratchFolder folder;
    const struct {
        size_t size;
        uint64_t limit;
        ReadFileError expected;
    } cases[] = {
        {0, 16, ReadFileError::NONE},
        {16, 16, ReadFileError::NONE},
        {17, 16, ReadFileError::TOO_LARGE},
        {200000, 200000, ReadFileError::NONE}, // more than one read block
        {200001, 200000, ReadFileError::TOO_LARGE},
    };
    for (const auto& c : cases) {
        std::string content(c.size, '\0');
        for (size_t i = 0; i < content.size(); ++i)
            content[i] = char('a' + i % 26);
        const std::string path = folder / ("f" + std::to_string(c.size));
        ASSERT_TRUE(WriteFileBytes(path, content));
        std::string bytes = "left over";
        EXPECT_EQ(ReadRegularFile(path, bytes, c.limit), c.expected) << c.size;
        EXPECT_EQ(bytes, c.expected == ReadFileError::NONE ? content : std::string()) << c.size;
    }
}

TEST(ReadRegularFile, RefusesWhatIsNoRegularFileWithoutReadingIt) {
    ScratchFolder folder;
    const std::string fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = folder / "zero";
    std::filesystem::create_symlink("/dev/zero", zero);
    const std::string sub = folder / "sub";
    std::filesystem::create_directory(sub);
    // A pipe without a writer must not block; /dev/zero must not be read to exhaustion.
    for (const std::string& path : {fifo, zero, sub}) {
        std::string bytes;
        EXPECT_EQ(ReadRegularFile(path, bytes, uint64_t(1) << 40), ReadFileError::NOT_REGULAR)
            << path;
        EXPECT_TRUE(bytes.empty());
    }
    std::string bytes;
    EXPECT_EQ(ReadRegularFile(folder / "absent", bytes, 100), ReadFileError::NOT_FOUND);
    EXPECT_STREQ(ReadFileErrorText(ReadFileError::NOT_REGULAR), "is not a regular file");
}

TEST(ReadRegularFile, FollowsALinkToARegularFile) {
    ScratchFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder / "real", "content"));
    std::filesystem::create_symlink(folder / "real", folder / "link");
    std::string bytes;
    EXPECT_EQ(ReadRegularFile(folder / "link", bytes, 100), ReadFileError::NONE);
    EXPECT_EQ(bytes, "content");
}
