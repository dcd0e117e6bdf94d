#include "TreeBuilder.h"

#include <gtest/gtest.h>

namespace quillory {
namespace {

using test::AddFile;
using test::AddFolder;

class FileNodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = test::MakeRoot("C:\\Game\\");
        addons = AddFolder(*root, "AddOns\\");
        oldX = AddFile(*addons, "x.pbo", 100, 0x1111);
        newX = AddFile(*addons, "x.pbo", 100, 0x2222);
        auto firstA = AddFolder(*root, "a\\");
        AddFile(*firstA, "other.txt", 1, 1);
        auto secondA = AddFolder(*root, "a\\");
        auto b = AddFolder(*secondA, "b\\");
        deep = AddFile(*b, "c", 5, 6);
        gone = AddFolder(*root, "gone\\", NS_MISSING);
        AddFile(*gone, "lost.pbo", 7, 8, NS_MISSING);
    }

    Handle<CFileNode> root, addons, oldX, newX, deep, gone;
};

TEST_F(FileNodeTest, PathsOfFilesFoldersAndTheRoot) {
    struct Case {
        const CFileNode* node;
        const char *absolute, *folder, *relative, *relativeFolder;
    } cases[] = {
        {root.get(), "C:\\Game\\", "", "", ""},
        {addons.get(), "C:\\Game\\AddOns\\", "C:\\Game\\", "AddOns\\", ""},
        {newX.get(), "C:\\Game\\AddOns\\x.pbo", "C:\\Game\\AddOns\\", "AddOns\\x.pbo", "AddOns\\"},
        {deep.get(), "C:\\Game\\a\\b\\c", "C:\\Game\\a\\b\\", "a\\b\\c", "a\\b\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.absolute);
        EXPECT_EQ(c.node->AbsolutePath(), c.absolute);
        EXPECT_EQ(c.node->FolderPath(), c.folder);
        EXPECT_EQ(c.node->RelativePath(), c.relative);
        EXPECT_EQ(c.node->RelativeFolderPath(), c.relativeFolder);
    }
}

TEST_F(FileNodeTest, FindFollowsSegmentsAndMatchesFilesBySizeAndCrc) {
    struct Case {
        const char* path;
        uint32_t size, crc;
        bool includeMissing;
        const CFileNode* expected;
    } cases[] = {
        {"addons\\", 999, 999, false, addons.get()}, // a folder whatever size and CRC
        {"ADDONS\\X.PBO", 100, 0x2222, false, newX.get()},
        {"addons\\x.pbo", 100, 0x1111, false, oldX.get()},
        {"addons\\x.pbo", 101, 0x1111, false, nullptr},
        {"a\\b\\c", 5, 6, false, nullptr}, // only the first a\ is followed
        {"gone\\", 0, 0, false, nullptr},
        {"gone\\", 0, 0, true, gone.get()},
        {"gone\\lost.pbo", 7, 8, true, gone->children[0].get()},
        {"gone\\lost.pbo", 7, 8, false, nullptr},
        {"", 0, 0, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(root->Find(c.path, c.size, c.crc, c.includeMissing).get(), c.expected);
    }
}

TEST_F(FileNodeTest, FindNearbySearchesChildrenAndGrandchildren) {
    EXPECT_EQ(root->FindNearby("x.pbo", 100, 0x2222).get(), newX.get());
    EXPECT_EQ(root->FindNearby("addons\\", 0, 0).get(), addons.get());
    EXPECT_EQ(root->FindNearby("c", 5, 6), nullptr);        // great-grandchild
    EXPECT_EQ(root->FindNearby("lost.pbo", 7, 8), nullptr); // missing
    EXPECT_EQ(addons->FindNearby("x.pbo", 100, 0x1111).get(), oldX.get());
}

TEST(FileNodePrune, KeepsWhatIsBoundOrHoldsSomethingBound) {
    auto root = test::MakeRoot("R\\");
    auto kept = AddFolder(*root, "keep\\");
    kept->bindCount = 1;
    auto dropped = AddFolder(*root, "drop\\");
    AddFile(*dropped, "a", 1, 1);
    AddFile(*dropped, "b", 1, 2);
    auto mixed = AddFolder(*root, "mixed\\");
    AddFile(*mixed, "unbound", 1, 3);
    auto bound = AddFile(*mixed, "bound", 1, 4);
    bound->bindCount = 1;
    // Bind counts that add up to 2^32 wrap to 0 when summed in 32 bits.
    auto heavy = AddFolder(*root, "heavy\\");
    AddFile(*heavy, "h1", 1, 5)->bindCount = 0x80000000u;
    AddFile(*heavy, "h2", 1, 6)->bindCount = 0x80000000u;

    EXPECT_TRUE(root->Prune());
    ASSERT_EQ(root->children.size(), 3u);
    EXPECT_EQ(root->children[0]->name, "keep\\");
    EXPECT_EQ(root->children[1]->name, "mixed\\");
    ASSERT_EQ(root->children[1]->children.size(), 1u);
    EXPECT_EQ(root->children[1]->children[0]->name, "bound");
    EXPECT_EQ(root->children[2]->children.size(), 2u);
}

TEST_F(FileNodeTest, CollectHandlesAndPointersWalkInPreOrder) {
    HandleArray<CFileNode> handles;
    std::vector<CFileNode*> pointers;
    addons->CollectHandles(handles);
    root->CollectPointers(pointers);
    ASSERT_EQ(handles.size(), 2u);
    EXPECT_EQ(handles[0], oldX);
    EXPECT_EQ(handles[1], newX);
    std::string order;
    for (CFileNode* node : pointers)
        order += node->name + " ";
    EXPECT_EQ(order, "AddOns\\ x.pbo x.pbo a\\ other.txt a\\ b\\ c gone\\ lost.pbo ");
}

TEST(FileNodeNames, ActiveNameOfForeignAndOwnInactiveForms) {
    struct Case {
        const char *disk, *active;
    } cases[] = {
        {"x.pbx", "x.pbo"},
        {"X.PBX", "X.pbo"},
        {"x.pbo.0012abcd.aab", "x.pbo"},
        {"x.pbo.0012ABCD.AAX", "x.pbo"},
        {"a.b.aab", "a"},
        {"readme.aab", ""},
        {".aab", ""},
        {"x.pbo", "x.pbo"},
        {"pbx", "pbx"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CFileNode::ActiveNameOf(c.disk), c.active) << c.disk;
}

TEST(FileNodeNames, InactiveNameRoundTripsThroughActiveNameOf) {
    CFileNode node;
    node.name = "x.pbo";
    node.crc = 0x12abcd;
    EXPECT_EQ(node.InactiveName(), "x.pbo.0012abcd.aab");
    EXPECT_EQ(CFileNode::ActiveNameOf(node.InactiveName()), "x.pbo");
}

TEST(FileNodeTexts, SizeCrcAndStatus) {
    struct SizeCase {
        uint64_t bytes;
        const char* text;
    } sizes[] = {
        {0, "0 KB"},
        {1, "1 KB"},
        {1024, "1 KB"},
        {1025, "2 KB"},
        {1023 * 1024, "1,023 KB"},
        {1048576, "1,024 KB"},
        {999999999, "976,563 KB"},
        {1000000000000ull, "976,562,500 KB"},
        {UINT64_MAX, "18,014,398,509,481,984 KB"},
    };
    for (const auto& c : sizes)
        EXPECT_EQ(CFileNode::SizeTextOf(c.bytes), c.text) << c.bytes;

    CFileNode node;
    node.size = 999999999;
    EXPECT_EQ(node.SizeText(), "976,563 KB");
    EXPECT_EQ(node.CrcText(), "00000000");
    node.crc = 0xDEADBEEF;
    EXPECT_EQ(node.CrcText(), "deadbeef");

    EXPECT_EQ(node.StatusText(), "");
    node.status = NS_INACTIVE;
    EXPECT_EQ(node.StatusText(), "Inactive");
    node.status = NS_MISSING;
    EXPECT_EQ(node.StatusText(), "Missing");
}

} // namespace
} // namespace quillory
