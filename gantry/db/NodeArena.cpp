#include "gantry/db/NodeArena.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace quillory {

void* CNodeArena::AllocateInNewPlace(size_t bytes, size_t alignment) {
    auto aligned = [alignment](std::byte* p) {
        const auto address = reinterpret_cast<uintptr_t>(p);
        return p + ((alignment - address % alignment) % alignment);
    };
    std::byte* place = cursor_ ? aligned(cursor_) : nullptr;
    if (!place || place + bytes > end_ || reserved_ == 0) {
        // operator new[] and a mapping both align for any fundamental type, which is all a
        // control block needs.
        const bool small = blocks_.size() < SMALL_BLOCKS;
        const size_t blockBytes =
            small ? (bytes + alignment) * NODES_PER_BLOCK
                  : std::max(platform::CPageBlock::LARGE_BLOCK, (bytes + alignment) * 2);
        platform::CPageBlock& block = blocks_.emplace_back(blockBytes);
        if (!block.Data())
            throw std::bad_alloc();
        cursor_ = block.Data();
        end_ = cursor_ + block.Size();
        place = aligned(cursor_);
        // Every slot after the first is aligned, as `bytes` is a multiple of the alignment.
        const size_t slots = small ? NODES_PER_BLOCK : static_cast<size_t>(end_ - place) / bytes;
        // The slots left in the old block are never handed out: they stop being counted.
        const size_t dropped = reserved_;
        reserved_ = slots;
        count_.fetch_add(slots, std::memory_order_relaxed);
        // The filler's own count keeps this from reaching zero, so no Release (and no delete).
        count_.fetch_sub(dropped, std::memory_order_relaxed);
    }
    cursor_ = place + bytes;
    --reserved_;
    return place;
}

void CNodeArena::Release(size_t count) {
    if (count_.fetch_sub(count, std::memory_order_acq_rel) == count)
        delete this;
}

} // namespace quillory
