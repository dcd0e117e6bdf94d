#include "platform/ThreadPriority.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace quillory::platform {

bool LowerCurrentThreadPriority() {
#ifdef _WIN32
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST) != 0;
#else
    // On Linux a nice value belongs to one thread when addressed by the thread's own id.
    constexpr int kLowestNice = 19;
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    return ::setpriority(PRIO_PROCESS, thread, kLowestNice) == 0;
#endif
}

} // namespace quillory::platform
