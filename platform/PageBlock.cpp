#include "platform/PageBlock.h"

#include <cstdint>
#include <new>
#include <utility>

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace quillory::platform {

namespace {

#ifndef _WIN32
// `bytes` (a multiple of LARGE_BLOCK) aligned to LARGE_BLOCK: the kernel gives a huge page only
// to an aligned range. Maps one alignment more and gives back what lies outside.
std::byte* MapAligned(size_t bytes) {
    const size_t align = CPageBlock::LARGE_BLOCK;
    void* mapped =
        ::mmap(nullptr, bytes + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto* start = static_cast<std::byte*>(mapped);
    const uintptr_t address = reinterpret_cast<uintptr_t>(start);
    const size_t head = (align - address % align) % align;
    if (head != 0)
        ::munmap(start, head);
    if (align - head != 0)
        ::munmap(start + head + bytes, align - head);
    std::byte* block = start + head;
#ifdef MADV_HUGEPAGE
    // Only advice: without huge pages the block still works, a page at a time.
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}
#endif

} // namespace

CPageBlock::CPageBlock(size_t bytes) {
#ifndef _WIN32
    if (bytes >= LARGE_BLOCK) {
        const size_t rounded = (bytes + LARGE_BLOCK - 1) / LARGE_BLOCK * LARGE_BLOCK;
        data_ = MapAligned(rounded);
        if (data_) {
            size_ = rounded;
            mapped_ = true;
            return;
        }
    }
#endif
    data_ = new (std::nothrow) std::byte[bytes];
    size_ = data_ ? bytes : 0;
}

CPageBlock::~CPageBlock() {
    Free();
}

CPageBlock::CPageBlock(CPageBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

CPageBlock& CPageBlock::operator=(CPageBlock&& other) noexcept {
    if (this != &other) {
        Free();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

void CPageBlock::Free() {
    if (!data_)
        return;
#ifndef _WIN32
    if (mapped_) {
        ::munmap(data_, size_);
        data_ = nullptr;
        return;
    }
#endif
    delete[] data_;
    data_ = nullptr;
}

} // namespace quillory::platform
