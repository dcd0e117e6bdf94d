#pragma once
// Hands out file nodes from large blocks rather than one heap allocation each: loading a database
// of 100,000 nodes spent as long allocating and freeing them one by one as zlib spent
// uncompressing the file. The handles are the same shared handles the rest of the code uses; each
// node still dies with its last handle, but its memory goes back only with the whole arena, which
// lives until its filler is done and the last node made from it has gone.
//
// Threads: CNodeArena::CFiller is used on the thread that owns the database (Load). A node may be
// released on any thread: that only counts down the arena's atomic count of living nodes.

#include "common/Types.h"
#include "gantry/db/FileNode.h"
#include "platform/PageBlock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quillory {

class CNodeArena final {
public:
    // Nodes per block of the first SMALL_BLOCKS blocks: a block of a few hundred kilobytes keeps
    // the waste of the last one small when few nodes are made (most scans).
    static constexpr size_t NODES_PER_BLOCK = 2048;
    static constexpr size_t SMALL_BLOCKS = 2;
    // Later blocks are platform::CPageBlock::LARGE_BLOCK bytes, filled a huge page at a time.

    // What std::allocate_shared takes: a plain pointer, so copying it costs nothing; allocating
    // bumps a pointer, deallocating counts the arena down.
    template <typename T> struct Allocator {
        using value_type = T;
        CNodeArena* arena;

        explicit Allocator(CNodeArena* owner) : arena(owner) {}
        template <typename U> Allocator(const Allocator<U>& other) : arena(other.arena) {}
        T* allocate(size_t n) {
            return static_cast<T*>(arena->Allocate(n * sizeof(T), alignof(T)));
        }
        void deallocate(T*, size_t) { arena->Release(1); }
        template <typename U> bool operator==(const Allocator<U>& other) const {
            return arena == other.arena;
        }
    };

    // Makes nodes in a new arena while it lives; the nodes keep the arena after it has gone.
    class CFiller final {
    public:
        CFiller() : arena_(new CNodeArena) {}
        ~CFiller() { arena_->Close(); }
        CFiller(const CFiller&) = delete;
        CFiller& operator=(const CFiller&) = delete;

        // A new node, as std::make_shared would make it from `args`.
        template <typename... Args> Handle<CFileNode> Make(Args&&... args) const {
            return std::allocate_shared<CFileNode>(Allocator<CFileNode>(arena_),
                                                   std::forward<Args>(args)...);
        }

    private:
        CNodeArena* arena_;
    };

    CNodeArena(const CNodeArena&) = delete;
    CNodeArena& operator=(const CNodeArena&) = delete;

private:
    CNodeArena() = default;
    ~CNodeArena() = default;

    // Every node is the same size, so after a block's first slot the next one is aligned and
    // only the count of slots left needs checking; the rest is the out-of-line path.
    void* Allocate(size_t bytes, size_t alignment) {
        if (reserved_ != 0 && reinterpret_cast<uintptr_t>(cursor_) % alignment == 0 &&
            bytes <= static_cast<size_t>(end_ - cursor_)) {
            void* place = cursor_;
            cursor_ += bytes;
            --reserved_;
            return place;
        }
        return AllocateInNewPlace(bytes, alignment);
    }
    void* AllocateInNewPlace(size_t bytes, size_t alignment);
    // Counts `count` living nodes down; the last one frees the arena.
    void Release(size_t count);
    // The filler is done: the slots it never handed out and its own count go.
    void Close() { Release(reserved_ + 1); }

    // Living nodes, plus the slots of the blocks not yet handed out, plus one while the filler
    // lives. Counting a whole block at once keeps an atomic operation out of every new node.
    std::atomic<size_t> count_{1};
    size_t reserved_ = 0;
    std::vector<platform::CPageBlock> blocks_;
    std::byte* cursor_ = nullptr;
    std::byte* end_ = nullptr;
};

} // namespace quillory
