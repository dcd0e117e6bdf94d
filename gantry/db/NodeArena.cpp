#include "gantry/db/NodeArena.h"

#include <cstdint>

namespace quillory {

void* CNodeArena::AllocateInNewPlace(size_t bytes, size_t alignment) {
    auto aligned = [alignment](std::byte* p) {
        const auto address = reinterpret_cast<uintptr_t>(p);
        return p + ((alignment - address % alignment) % alignment);
    };
    std::byte* place = cursor_ ? aligned(cursor_) : nullptr;
    if (!place || place + bytes > end_ || reserved_ == 0) {
        // operator new[] aligns for any fundamental type, which is all a control block needs.
        const size_t blockBytes = (bytes + alignment) * NODES_PER_BLOCK;
        blocks_.emplace_back(new std::byte[blockBytes]);
        cursor_ = blocks_.back().get();
        end_ = cursor_ + blockBytes;
        place = aligned(cursor_);
        // The slots left in the old block are never handed out: they stop being counted.
        const size_t dropped = reserved_;
        reserved_ = NODES_PER_BLOCK;
        count_.fetch_add(NODES_PER_BLOCK, std::memory_order_relaxed);
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
