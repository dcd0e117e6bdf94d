// The archive read through windows of the file gives the very bytes of the file, whatever the
// order of the reads; the entries listed once are the entries a walk finds, and each opens and
// reads whole in any order.
#include "gantry/client/ZipReader.h"
#include "gantry/client/ZipInput.h"
#include "tests/support/RandomBytes.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

namespace quillory {
namespace {

using test::Crc32Of;
using test::RandomBytes;
using test::ScratchFolder;
using test::ZipBuilder;

TEST(ZipInputTest, ReadsGiveTheFileBytesInAnyOrder) {
    ScratchFolder folder;
    const size_t window = CZipInput::kWindowSize;
    const std::string bytes = RandomBytes(2 * window + 12345, 7);
    const String path = folder / "file.bin";
    ASSERT_TRUE(test::WriteFileBytes(path, bytes));

    struct Case {
        int64_t offset;
        int origin;
        size_t count;
    };
    const Case cases[] = {
        {0, CFileHandle::FROM_START, 4},                                 // first window
        {-22, CFileHandle::FROM_END, 22},                                // the end: a second window
        {2, CFileHandle::FROM_START, 2},                                 // back to the first
        {static_cast<int64_t>(window) - 3, CFileHandle::FROM_START, 10}, // across two windows
        {-5000, CFileHandle::FROM_END, 1000},       // evicts the one used least
        {100, CFileHandle::FROM_START, window + 7}, // larger than a window
        {-3, CFileHandle::FROM_CURRENT, 3},         // back a little
        {-10, CFileHandle::FROM_END, 100},          // short at the end
        {5, CFileHandle::FROM_END, 10},             // beyond the end: nothing
    };
    CZipInput input;
    ASSERT_TRUE(input.Open(path));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + " from " + std::to_string(c.origin));
        ASSERT_TRUE(input.Seek(c.offset, c.origin));
        const uint64_t at = input.Tell();
        const size_t expected = at >= bytes.size() ? 0 : std::min(c.count, bytes.size() - at);
        std::string got(c.count, '\0');
        EXPECT_EQ(input.Read(got.data(), c.count), expected);
        EXPECT_EQ(got.substr(0, expected),
                  bytes.substr(std::min<uint64_t>(at, bytes.size()), expected));
        EXPECT_EQ(input.Tell(), at + expected);
    }
    EXPECT_FALSE(input.Seek(-1, CFileHandle::FROM_START));
    EXPECT_FALSE(input.Seek(-static_cast<int64_t>(bytes.size()) - 1, CFileHandle::FROM_END));
    EXPECT_FALSE(input.Seek(INT64_MAX, CFileHandle::FROM_END));
    EXPECT_FALSE(input.Failed());
    EXPECT_FALSE(CZipInput().Open(folder / "absent.bin"));
}

// The entries as a walk with GoToFirst, CurrentInfo and GoToNext finds them.
std::vector<ZipEntryInfo> Walk(const String& path) {
    CZipReader zip;
    std::vector<ZipEntryInfo> walked;
    ZipEntryInfo info;
    if (zip.Open(path))
        for (bool more = zip.GoToFirst(); more && zip.CurrentInfo(info); more = zip.GoToNext())
            walked.push_back(info);
    return walked;
}

TEST(ZipReaderTest, KeptEntriesAreTheWalkedOnesAndOpenInAnyOrder) {
    ScratchFolder folder;
    // A stored entry larger than a window between many small ones, so that the data and the
    // list of entries need windows of their own at both ends of the file.
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 300; ++i)
        files.emplace_back("small/" + std::to_string(i) + ".txt",
                           RandomBytes(static_cast<size_t>(i % 50), static_cast<unsigned>(i)));
    files.insert(files.begin() + 150, {"big.bin", RandomBytes(CZipInput::kWindowSize + 4321, 99)});
    ZipBuilder builder;
    for (const auto& [name, data] : files)
        builder.Add(name, data, test::ZipDate{2003, 8, 23, 10, 20, 30}, name != "big.bin");
    const String path = folder / "pack.zip";
    ASSERT_TRUE(builder.Write(path));

    CZipReader zip;
    ASSERT_TRUE(zip.Open(path));
    ASSERT_TRUE(zip.ListEntries());
    EXPECT_FALSE(zip.ListDamaged());
    const std::vector<ZipEntryInfo>& entries = zip.Entries();
    const std::vector<ZipEntryInfo> walked = Walk(path);
    ASSERT_EQ(entries.size(), files.size());
    ASSERT_EQ(walked.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(entries[i].path, files[i].first);
        EXPECT_EQ(entries[i].path, walked[i].path);
        EXPECT_EQ(entries[i].size, files[i].second.size());
        EXPECT_EQ(entries[i].crc, Crc32Of(files[i].second));
        EXPECT_EQ(entries[i].month, 8);
        EXPECT_EQ(entries[i].second, 30);
    }
    for (size_t i = entries.size(); i-- > 0;) {
        SCOPED_TRACE(entries[i].path);
        ASSERT_TRUE(zip.OpenEntry(entries[i]));
        std::string data(entries[i].size + 1, '\0');
        size_t got = 0;
        for (int64_t n; (n = zip.ReadCurrent(data.data() + got, data.size() - got)) > 0;)
            got += static_cast<size_t>(n);
        EXPECT_TRUE(zip.CloseCurrent()); // read whole and its CRC-32 matched
        EXPECT_EQ(data.substr(0, got), files[i].second);
    }
}

TEST(ZipReaderTest, ADamagedHeaderEndsTheListWhereTheWalkEnds) {
    ScratchFolder folder;
    ZipBuilder builder;
    builder.Add("one.txt", "1").Add("two.txt", "2").Add("three.txt", "3").Add("four.txt", "4");
    const String path = folder / "damaged.zip";
    ASSERT_TRUE(builder.Write(path));
    std::string bytes;
    ASSERT_TRUE(test::ReadFileBytes(path, bytes));
    // The signature of the third header of the list of entries.
    size_t at = 0;
    for (int i = 0; i < 3; ++i)
        at = bytes.find("PK\x01\x02", i == 0 ? 0 : at + 4);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 2] = 'X';
    ASSERT_TRUE(test::WriteFileBytes(path, bytes));

    CZipReader zip;
    ASSERT_TRUE(zip.Open(path));
    ASSERT_TRUE(zip.ListEntries());
    ASSERT_EQ(zip.Entries().size(), Walk(path).size());
    EXPECT_EQ(zip.Entries().size(), 2u);
    EXPECT_FALSE(zip.ListDamaged());
}

} // namespace
} // namespace quillory
