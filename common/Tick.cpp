#include "common/Tick.h"

#include <chrono>

namespace quillory {

uint32_t TickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

} // namespace quillory
