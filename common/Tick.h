#pragma once
// The wrapping millisecond tick that every timer of the system measures with.

#include <cstdint>
#include <functional>

namespace quillory {

// Milliseconds of a monotonic clock, wrapping at 2^32. Differences are taken unsigned.
uint32_t TickCount();

// Where a component reads the tick; tests give one that crosses the wrap.
using TickSource = std::function<uint32_t()>;

// Milliseconds from `since` to `now`, correct across the wrap.
constexpr uint32_t TicksSince(uint32_t now, uint32_t since) {
    return now - since;
}

} // namespace quillory
