#pragma once
// Background work that must never slow the window or the game down runs at the lowest priority.

namespace quillory::platform {

// Lowers the calling thread (only it) to the lowest scheduling priority; false when refused.
bool LowerCurrentThreadPriority();

} // namespace quillory::platform
