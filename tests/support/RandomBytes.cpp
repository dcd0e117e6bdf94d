#include "tests/support/RandomBytes.h"

#include <random>

namespace quillory::test {

std::string RandomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

} // namespace quillory::test
