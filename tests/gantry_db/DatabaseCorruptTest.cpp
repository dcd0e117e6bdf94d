// Damaged database files: Load refuses them whole and leaves the database as it was.
#include "DatabaseBytes.h"
#include "ScratchFolder.h"
#include "TreeBuilder.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace quillory {
namespace {

using test::Bytes;

Bytes Pseudo(Bytes b = Bytes()) {
    for (const char* name : {"<Core files>", "<Unknown files>", "<Unknown addons>"})
        b.Text(name).U64(0).Text("").Text("").Text("").U32(0);
    return b;
}

// A sound payload: a folder holding one file, and a package holding the file.
std::string GoodPayload() {
    Bytes b;
    b.U8(1).Text("addons\\").U16(1).U32(0).U16(NF_FOLDER);
    b.U8(2).Text("a.pbo").Text("a.pbo").U16(1).U32(1).U16(0).U32(5).U32(6).U64(7);
    b.U8(3).U8(3).U32(4);
    b = Pseudo(b);
    b.Text("Pkg").U64(0).Text("").Text("").Text("").U32(1).U32(1);
    return b.data;
}

// A payload whose tree is `records`, closed by the root's end marker, with the pseudo-packages
// and one package holding `members`.
std::string WithTree(const std::string& records, std::vector<uint32_t> members = {}) {
    Bytes b;
    b.Raw(records).U8(3).U32(4);
    b = Pseudo(b);
    b.Text("Pkg").U64(0).Text("").Text("").Text("").U32(uint32_t(members.size()));
    for (uint32_t m : members)
        b.U32(m);
    return b.data;
}

std::string FileRecord(const std::string& name, const std::string& disk, uint16_t status = 1) {
    return Bytes().U8(2).Text(name).Text(disk).U16(status).U32(0).U16(0).U32(1).U32(2).U64(3).data;
}

std::string FolderOpen(const std::string& name) {
    return Bytes().U8(1).Text(name).U16(1).U32(0).U16(NF_FOLDER).data;
}

std::string WithHeader(uint32_t version, uint32_t length, const std::string& packed) {
    return Bytes().U32(version).U32(length).data + packed;
}

class DatabaseCorruptTest : public ::testing::Test {
protected:
    DatabaseCorruptTest() : db(folder.Path().string()) {
        db.SetGamePath("C:\\Game\\");
        db.SetRoot(test::MakeRoot("C:\\Game\\"));
        auto kept = test::AddFile(*db.Root(), "kept.txt", 1, 2);
        test::AddPackage(db, "Before")->AddMember(kept);
        before = test::Describe(db);
        rootBefore = db.Root().get();
    }

    void ExpectRefused(const std::string& fileBytes, const std::string& what) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(test::WriteFileBytes(folder / "quillory.dat", fileBytes));
        EXPECT_FALSE(db.Load());
        EXPECT_EQ(db.Root().get(), rootBefore);
        EXPECT_EQ(test::Describe(db), before);
        EXPECT_EQ(db.CoreFiles(), db.Packages()[0]);
        EXPECT_TRUE(db.NodeByNumber().empty());
    }

    test::ScratchFolder folder;
    CFileDatabase db;
    std::string before;
    const CFileNode* rootBefore = nullptr;
};

TEST_F(DatabaseCorruptTest, TheGoodPayloadLoads) {
    CFileDatabase other(folder.Path().string());
    ASSERT_TRUE(test::WriteFileBytes(folder / "quillory.dat", test::DatabaseFile(GoodPayload())));
    EXPECT_TRUE(other.Load());
    EXPECT_EQ(other.Packages().size(), 4u);
}

TEST_F(DatabaseCorruptTest, NoFileLeavesTheDatabaseAlone) {
    EXPECT_FALSE(db.Load());
    EXPECT_EQ(test::Describe(db), before);
}

TEST_F(DatabaseCorruptTest, DamagedHeadersAndStreams) {
    std::string good = GoodPayload();
    std::string packed = test::Deflate(good);
    uint32_t length = uint32_t(good.size());
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"short header", std::string("\x01\x00\x00\x00\x10", 5)},
        {"header only", WithHeader(1, length, "")},
        {"version 2", WithHeader(2, length, packed)},
        {"version 0", WithHeader(0, length, packed)},
        {"length too large", WithHeader(1, length + 1, packed)},
        {"length too small", WithHeader(1, length - 1, packed)},
        {"absurd length", WithHeader(1, 0xFFFFFFFFu, packed)},
        {"not zlib", WithHeader(1, length, std::string(40, 'x'))},
        {"stream cut short", WithHeader(1, length, packed.substr(0, packed.size() - 5))},
        {"trailing bytes", WithHeader(1, length, packed + "junk")},
        {"checksum broken", WithHeader(1, length, packed.substr(0, packed.size() - 1) + "\x55")},
    };
    for (const auto& c : cases)
        ExpectRefused(c.bytes, c.what);
}

TEST_F(DatabaseCorruptTest, InconsistentPayloads) {
    std::string deep;
    for (int i = 0; i < 600; ++i)
        deep += FolderOpen("d\\");
    deep += std::string(600, '\x03');
    struct Case {
        const char* what;
        std::string payload;
    } cases[] = {
        {"empty payload", ""},
        {"tag that is no tag", WithTree(Bytes().U8(7).data)},
        {"tag 0", WithTree(Bytes().U8(0).data)},
        {"folder never closed", FolderOpen("a\\")},
        {"no package count", Bytes().U8(3).data},
        {"fewer than three packages", Pseudo(Bytes().U8(3).U32(2)).data},
        {"package count beyond the data", Pseudo(Bytes().U8(3).U32(0x40000000)).data},
        {"member number outside the list", WithTree(FileRecord("a", "a"), {1})},
        {"member count beyond the data", Pseudo(Bytes().U8(3).U32(4))
                                             .Text("P")
                                             .U64(0)
                                             .Text("")
                                             .Text("")
                                             .Text("")
                                             .U32(0x7FFFFFFF)
                                             .data},
        {"package record cut short", Pseudo(Bytes().U8(3).U32(4)).Text("P").U64(0).data},
        {"text without its zero byte", Bytes().U8(2).Raw("name").data},
        {"file record cut short", Bytes().U8(2).Text("a").Text("a").U16(1).data},
        {"trailing bytes after the packages", WithTree("") + "x"},
        {"folder name without backslash",
         WithTree(Bytes().U8(1).Text("a").U16(1).U32(0).U16(16).U8(3).data)},
        {"empty folder name", WithTree(FolderOpen("") + "\x03")},
        {"folder named ..", WithTree(FolderOpen("..\\") + "\x03")},
        {"folder name with two segments", WithTree(FolderOpen("a\\b\\") + "\x03")},
        {"file named ..", WithTree(FileRecord("..", "x"))},
        {"disk name escaping", WithTree(FileRecord("x", "../../x"))},
        {"file name with backslash", WithTree(FileRecord("a\\b", "a"))},
        {"empty file name", WithTree(FileRecord("", "a"))},
        {"unknown status", WithTree(FileRecord("a", "a", 3))},
        {"nesting deeper than any installation", WithTree(deep)},
    };
    for (const auto& c : cases)
        ExpectRefused(test::DatabaseFile(c.payload), c.what);
}

TEST_F(DatabaseCorruptTest, EveryTruncationIsRefused) {
    std::string good = GoodPayload();
    for (size_t n = 0; n < good.size(); ++n)
        ExpectRefused(test::DatabaseFile(good.substr(0, n)), "payload of " + std::to_string(n));
    std::string file = test::DatabaseFile(good);
    for (size_t n = 0; n < file.size(); ++n)
        ExpectRefused(file.substr(0, n), "file of " + std::to_string(n));
}

} // namespace
} // namespace quillory
