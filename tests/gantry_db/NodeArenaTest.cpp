#include "gantry/db/NodeArena.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace quillory;

namespace {

// More nodes than the small blocks hold, so that some come from large ones.
constexpr size_t kManyNodes = 40000;

HandleArray<CFileNode> MakeNodes(size_t count) {
    HandleArray<CFileNode> nodes;
    const CNodeArena::CFiller filler;
    for (size_t i = 0; i < count; ++i) {
        nodes.push_back(filler.Make("file" + std::to_string(i) + ".pbo", "disk"));
        nodes.back()->size = static_cast<uint32_t>(i);
    }
    return nodes;
}

} // namespace

TEST(NodeArenaTest, EveryNodeHasItsOwnPlaceAndKeepsItsFieldsAfterTheFillerHasGone) {
    static_assert(kManyNodes > CNodeArena::NODES_PER_BLOCK * CNodeArena::SMALL_BLOCKS);
    const HandleArray<CFileNode> nodes = MakeNodes(kManyNodes);
    std::set<const CFileNode*> places;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const CFileNode& node = *nodes[i];
        ASSERT_EQ(node.name, "file" + std::to_string(i) + ".pbo");
        ASSERT_EQ(node.diskName, "disk");
        ASSERT_EQ(node.size, i);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(&node) % alignof(CFileNode), 0u);
        places.insert(&node);
    }
    EXPECT_EQ(places.size(), kManyNodes);
}

TEST(NodeArenaTest, ANodeOutlivesEveryOtherNodeOfItsArena) {
    for (size_t keep : {size_t(0), size_t(5000), kManyNodes - 1}) {
        Handle<CFileNode> kept;
        {
            HandleArray<CFileNode> nodes = MakeNodes(kManyNodes);
            kept = nodes[keep];
        }
        // The others, the filler and their blocks' count are gone; the kept node's block stays.
        EXPECT_EQ(kept.use_count(), 1);
        EXPECT_EQ(kept->name, "file" + std::to_string(keep) + ".pbo");
        kept->children.push_back(std::make_shared<CFileNode>());
        EXPECT_EQ(kept->children.size(), 1u);
    }
}
