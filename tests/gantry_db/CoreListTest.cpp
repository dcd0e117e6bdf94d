#include "DatabaseBytes.h"

#include "gantry/db/FileDatabase.h"

#include <fstream>
#include <gtest/gtest.h>

namespace quillory {
namespace {

using test::Bytes;

// Lays out a list by hand: folders get their skip offsets patched when they close.
class ListWriter {
public:
    ListWriter& File(const std::string& name) {
        b.Text(name);
        return *this;
    }
    ListWriter& Open(const std::string& name) {
        b.Text(name);
        slots.push_back(b.data.size());
        b.U32(0);
        return *this;
    }
    ListWriter& Close() {
        b.U8(0);
        uint32_t next = uint32_t(b.data.size());
        for (int i = 0; i < 4; ++i)
            b.data[slots.back() + i] = char((next >> (8 * i)) & 0xFF);
        slots.pop_back();
        return *this;
    }
    std::string End() { return b.U8(0).data; }
    Bytes b;
    std::vector<size_t> slots;
};

void UseList(CFileDatabase& db, const std::string& list) {
    db.SetCoreList(std::vector<uint8_t>(list.begin(), list.end()), uint32_t(list.size()));
}

TEST(CoreList, LookupsInAHandBuiltList) {
    // res\ holds a.txt and bin\; b.txt follows res\ at the top level.
    std::string list = ListWriter()
                           .File("IRONVALE.EXE")
                           .Open("res\\")
                           .File("a.txt")
                           .Open("bin\\")
                           .File("config.bin")
                           .Close()
                           .Close()
                           .Open("addons\\")
                           .File("x.pbo")
                           .Close()
                           .File("b.txt")
                           .End();
    CFileDatabase db;
    UseList(db, list);
    struct Case {
        const char* path;
        bool core;
    } cases[] = {
        {"IRONVALE.EXE", true},
        {"ironvale.exe", true},
        {"res\\", true},
        {"RES\\BIN\\", true},
        {"res\\bin\\Config.BIN", true},
        {"ADDONS\\X.PBO", true},
        {"b.txt", true},
        {"res\\b.txt", false},
        {"a.txt", false},
        {"res\\a.txt\\", false},
        {"bin\\", false},
        {"x.pbo", false},
        {"", false},
        {"res\\bin\\config.bin\\x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(db.IsCorePath(c.path), c.core) << c.path;
}

TEST(CoreList, AFolderMatchAnswersWithoutReadingItsEntries) {
    // Everything after res\'s skip offset is cut off.
    std::string list = Bytes().Text("res\\").U32(9999).data;
    CFileDatabase db;
    UseList(db, list);
    EXPECT_TRUE(db.IsCorePath("res\\"));
    EXPECT_FALSE(db.IsCorePath("res\\x"));
    EXPECT_FALSE(db.IsCorePath("other"));
}

TEST(CoreList, BadSkipOffsetsAreIgnoredAndTheSearchEnds) {
    struct Case {
        const char* what;
        uint32_t offset;
    } cases[] = {{"beyond the data", 100000}, {"backwards", 0}, {"onto itself", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // a\ [offset] inner 0 after 0
        std::string list =
            Bytes().Text("a\\").U32(c.offset).Text("inner").U8(0).Text("after").U8(0).data;
        CFileDatabase db;
        UseList(db, list);
        EXPECT_FALSE(db.IsCorePath("after")); // reads on inside a\ and stops at its end
        EXPECT_TRUE(db.IsCorePath("a\\inner"));
    }
}

TEST(CoreList, AListThatDoesNotUnpackIsEmpty) {
    std::string packed = test::Deflate(ListWriter().File("x").End());
    struct Case {
        const char* what;
        std::string resource;
    } cases[] = {
        {"nothing", ""},
        {"length only", Bytes().U32(4).data},
        {"not zlib", Bytes().U32(4).data + "garbage"},
        {"absurd length", Bytes().U32(0xFFFFFFFFu).data + packed},
        {"length too small", Bytes().U32(1).data + packed},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> list;
        uint32_t length = 99;
        CFileDatabase::UnpackCoreList(reinterpret_cast<const uint8_t*>(c.resource.data()),
                                      c.resource.size(), list, length);
        CFileDatabase db;
        db.SetCoreList(list, length);
        EXPECT_FALSE(db.IsCorePath("x")) << c.what;
    }
    std::string good = Bytes().U32(3).data + packed;
    std::vector<uint8_t> list;
    uint32_t length = 0;
    CFileDatabase::UnpackCoreList(reinterpret_cast<const uint8_t*>(good.data()), good.size(), list,
                                  length);
    EXPECT_EQ(length, 3u);
    CFileDatabase db;
    db.SetCoreList(list, length);
    EXPECT_TRUE(db.IsCorePath("x"));
}

TEST(CoreList, TheShippedListHoldsEveryManifestPath) {
    std::ifstream manifest(QUILLORY_CORE_MANIFEST);
    ASSERT_TRUE(manifest);
    CFileDatabase db;
    std::string line;
    int paths = 0;
    while (std::getline(manifest, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        ++paths;
        EXPECT_TRUE(db.IsCorePath(line)) << line;
    }
    EXPECT_GT(paths, 100);
    EXPECT_FALSE(db.CoreList().empty());
    for (const char* stranger : {"AddOns\\mymod.pbo", "@mod\\", "Res\\AddOns\\extra.pbo", "x"})
        EXPECT_FALSE(db.IsCorePath(stranger)) << stranger;

    db.FreeCoreList();
    EXPECT_TRUE(db.CoreList().empty());
    EXPECT_TRUE(db.IsCorePath("IRONVALE.EXE")); // unpacked again on demand
}

} // namespace
} // namespace quillory
