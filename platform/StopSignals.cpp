#include "platform/StopSignals.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace quillory {

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

CStopSignals::CStopSignals() {
    sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

CStopSignals::~CStopSignals() {
    // A stop that arrived after the last wait is dropped, not delivered on restore.
    sigset_t set = StopSet();
    timespec none{0, 0};
    while (::sigtimedwait(&set, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

bool CStopSignals::Wait(uint32_t timeoutMs) {
    sigset_t set = StopSet();
    timespec timeout{static_cast<time_t>(timeoutMs / 1000),
                     static_cast<long>(timeoutMs % 1000) * 1000000L};
    int r;
    do {
        r = ::sigtimedwait(&set, nullptr, &timeout);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

} // namespace quillory
