#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/FileTime.h"
#include "common/MemoryStream.h"
#include "common/NumberText.h"
#include "common/Tick.h"
#include "common/Tokenizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace quillory;

TEST(MemoryStream, GrowsByLargerOfShortfallAndCapacity) {
    CMemoryStream s;
    EXPECT_EQ(s.Capacity(), 0u);
    uint8_t one = 7;
    EXPECT_EQ(s.Write(&one, 1), 1u);
    EXPECT_EQ(s.Capacity(), 256u); // 256 from an empty buffer
    std::string big(300, 'x');
    s.Write(big.data(), big.size()); // needs 301: shortfall 45 < capacity 256
    EXPECT_EQ(s.Capacity(), 512u);
    std::string huge(2000, 'y');
    s.Write(huge.data(), huge.size()); // needs 2301: shortfall 1789 > 512
    EXPECT_EQ(s.Capacity(), 2301u);
    EXPECT_EQ(s.Size(), 2301u);
}

TEST(MemoryStream, WriteInsideKeepsSizeAndSeekRefusesOutside) {
    CMemoryStream s(4);
    s.Write("abcdef", 6);
    EXPECT_EQ(s.Seek(2, CMemoryStream::SEEK_START), 2);
    s.Write("XY", 2);
    EXPECT_EQ(s.Size(), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Data()), 6), "abXYef");
    EXPECT_EQ(s.Seek(-5, CMemoryStream::SEEK_CURRENT), -1);
    EXPECT_EQ(s.Position(), 4u);
    EXPECT_EQ(s.Seek(1, CMemoryStream::SEEK_END_), -1);
    EXPECT_EQ(s.Seek(0, CMemoryStream::SEEK_END_), 6);
    EXPECT_EQ(s.Seek(0, 7), -1);
    char buf[10];
    s.Seek(4, CMemoryStream::SEEK_START);
    EXPECT_EQ(s.Read(buf, 10), 2u);
    EXPECT_EQ(s.Read(buf, 10), 0u);
}

TEST(MemoryStream, AttachedBufferIsReadOnly) {
    const char data[] = "hello";
    CMemoryStream s(data, 5);
    EXPECT_FALSE(s.OwnsBuffer());
    EXPECT_EQ(s.Size(), 5u);
    EXPECT_EQ(s.Write("x", 1), 0u);
    EXPECT_EQ(data[0], 'h');
}

TEST(MemoryStream, IntegersAreLittleEndianAndShortReadsFail) {
    CMemoryStream s;
    WriteU32(s, 0x04030201);
    WriteU16(s, 0x0605);
    EXPECT_EQ(s.Data()[0], 1);
    EXPECT_EQ(s.Data()[3], 4);
    EXPECT_EQ(s.Data()[4], 5);
    s.Seek(0, 0);
    uint32_t v = 0;
    EXPECT_TRUE(ReadU32(s, v));
    EXPECT_EQ(v, 0x04030201u);
    uint64_t big = 99;
    EXPECT_FALSE(ReadU64(s, big));
    EXPECT_EQ(big, 99u);
    EXPECT_EQ(s.Position(), 4u);
}

TEST(MemoryStream, ZeroTerminatedTexts) {
    const char data[] = {'a', 'b', 0, 0, 'c', 'd'};
    CMemoryStream s(data, sizeof data);
    EXPECT_EQ(ReadText(s), "ab");
    EXPECT_EQ(ReadText(s), "");
    std::string last;
    EXPECT_FALSE(ReadTextStrict(s, last)); // the data ends before a zero byte
    EXPECT_EQ(last, "cd");
    EXPECT_EQ(s.Remaining(), 0u);
    EXPECT_EQ(ReadText(s), "");
}

TEST(Tokenizer, SplitsAsTheCommandLineRulesSay) {
    struct Case {
        const char* text;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"", {}},
        {"  a  b\tc\r\nd\v\f\be ", {"a", "b", "c", "d", "e"}},
        {"\"Program Files\\x\" -y", {"Program Files\\x", "-y"}},
        {"ab\"cd ef\"gh", {"ab", "cd ef", "gh"}},
        {"\"\" x \"\"", {"x"}},
        {"\"open to the end", {"open to the end"}},
        {"-mod=\"a;b\"", {"-mod=", "a;b"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TokenizeCommandLine(c.text), c.words) << c.text;
}

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsNoCase("AddOns\\X.PBO", "addons\\x.pbo"));
    EXPECT_FALSE(EqualsNoCase("\xC4", "\xE4")); // Latin-1 letters are not folded
    EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
    EXPECT_EQ(CompareNoCase("ABC", "abc"), 0);
    EXPECT_GT(CompareNoCase("abcd", "ABC"), 0);
    EXPECT_TRUE(EndsWithNoCase("x.PBO", ".pbo"));
    EXPECT_FALSE(EndsWithNoCase("o", ".pbo"));
    EXPECT_TRUE(StartsWithNoCase("Res\\AddOns", "RES\\"));
    EXPECT_EQ(FindNoCase("xx[GANTRY]", "[gantry]"), 2u);
}

TEST(FileTime, KnownDatesAndUnixRoundTrip) {
    // 1970-01-01 is 116444736000000000 in file time units.
    EXPECT_EQ(FileTimeFromUnix(0), 116444736000000000ULL);
    EXPECT_EQ(FileTimeFromCivil(1970, 1, 1, 0, 0, 0), 116444736000000000ULL);
    // 2003-08-23 10:20:30 is 1061634030 seconds after 1970.
    EXPECT_EQ(FileTimeFromCivil(2003, 8, 23, 10, 20, 30), FileTimeFromUnix(1061634030));
    int64_t sec = 0, ns = 0;
    UnixFromFileTime(FileTimeFromUnix(1061634030, 123456700), sec, ns);
    EXPECT_EQ(sec, 1061634030);
    EXPECT_EQ(ns, 123456700);
    EXPECT_EQ(MakeFileTime(FileTimeLow(0x0123456789ABCDEFULL), FileTimeHigh(0x0123456789ABCDEFULL)),
              0x0123456789ABCDEFULL);
}

TEST(Tick, DifferencesCrossTheWrap) {
    EXPECT_EQ(TicksSince(5u, 0xFFFFFFFBu), 10u);
    uint32_t a = TickCount();
    uint32_t b = TickCount();
    EXPECT_LT(TicksSince(b, a), 1000u);
}

TEST(FileHandle, ModesWriteSeekAndReadBack) {
    auto path = (std::filesystem::temp_directory_path() / "quillory_fh_test.bin").string();
    std::remove(path.c_str());
    CFileHandle f;
    EXPECT_FALSE(f.Open(path, CFileHandle::MODE_READ)); // does not exist
    EXPECT_FALSE(f.Open(path, 4));
    ASSERT_TRUE(f.Open(path, CFileHandle::MODE_CREATE));
    EXPECT_EQ(f.Write("hello", 5), 5);
    EXPECT_TRUE(f.Close());
    ASSERT_TRUE(f.Open(path, CFileHandle::MODE_APPEND));
    EXPECT_EQ(f.Seek(0, CFileHandle::FROM_CURRENT), 5);
    EXPECT_EQ(f.Write("!", 1), 1);
    EXPECT_EQ(f.Seek(0, CFileHandle::FROM_START), 0);
    EXPECT_EQ(f.Write("J", 1), 1);
    f.Close();
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, "Jello!");
    std::remove(path.c_str());
}

#ifndef _WIN32
// Whatever lies under a name that is to be written must be a regular file: a link planted there
// (to a file elsewhere, or to nothing yet), a pipe or a folder is refused without being followed,
// truncated or waited on, and the reason is told.
TEST(FileHandle, WritingModesRefuseLinksAndAnythingButARegularFile) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("quillory_fh_links_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "inside");
    const std::filesystem::path outside = folder / "outside.txt";
    {
        CFileHandle seed;
        ASSERT_TRUE(seed.Open(outside.string(), CFileHandle::MODE_CREATE));
        ASSERT_EQ(seed.Write("keep", 4), 4);
    }
    const std::filesystem::path inside = folder / "inside";
    std::filesystem::create_symlink(outside, inside / "link.tmp");
    std::filesystem::create_symlink(folder / "absent.txt", inside / "dangling.tmp");
    ASSERT_EQ(::mkfifo((inside / "pipe.tmp").c_str(), 0600), 0);
    std::filesystem::create_directory(inside / "folder.tmp");
    struct Case {
        const char* name;
        const char* reason;
    };
    const Case cases[] = {
        {"link.tmp", "it is a symbolic link"},
        {"dangling.tmp", "it is a symbolic link"},
        {"pipe.tmp", "it is not a regular file"},
        {"folder.tmp", "it is not a regular file"},
    };
    for (const int mode :
         {CFileHandle::MODE_CREATE, CFileHandle::MODE_READWRITE, CFileHandle::MODE_APPEND}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(mode));
            CFileHandle f;
            EXPECT_FALSE(f.Open((inside / c.name).string(), mode));
            EXPECT_FALSE(f.IsOpen());
            EXPECT_EQ(f.OpenError(), c.reason);
        }
    }
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(outside.string(), bytes));
    EXPECT_EQ(bytes, "keep") << "the link's target is neither truncated nor appended to";
    EXPECT_FALSE(std::filesystem::exists(folder / "absent.txt")) << "nothing made at the far end";
    EXPECT_TRUE(std::filesystem::is_symlink(inside / "link.tmp"));
    std::filesystem::remove_all(folder);
}
#endif

TEST(NumberText, GroupsThousandsFromTheRight) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"7", "7"},
        {"123", "123"},
        {"1234", "1,234"},
        {"123456", "123,456"},
        {"1234567", "1,234,567"},
    };
    for (const auto& [digits, text] : cases)
        EXPECT_EQ(GroupThousands(digits), text) << digits;
}

TEST(NumberText, CountTakesTheSingularForOneOnly) {
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0 packages"},   {1, "1 package"},    {2, "2 packages"},
        {11, "11 packages"}, {21, "21 packages"},
    };
    for (const auto& [count, text] : cases)
        EXPECT_EQ(CountOf(count, "package", "packages"), text) << count;
}
