#pragma once
// Content that compresses badly and differs from run to run only with its seed.

#include <cstddef>
#include <string>

namespace quillory::test {

// `count` bytes drawn from a generator seeded with `seed`.
std::string RandomBytes(size_t count, unsigned seed);

} // namespace quillory::test
