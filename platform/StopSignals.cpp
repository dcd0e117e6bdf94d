#include "platform/StopSignals.h"

#include "platform/WaitableEvent.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

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

bool CStopSignals::Wait(uint32_t timeoutMs, CWaitableEvent& done) {
    // The signals are held back, so they stay pending until a descriptor of them is read.
    sigset_t set = StopSet();
    const int signals = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signals < 0)
        return Wait(timeoutMs);
    pollfd fds[2] = {{signals, POLLIN, 0}, {done.NativeHandle(), POLLIN, 0}};
    const int timeout = timeoutMs > 0x7fffffffu ? -1 : static_cast<int>(timeoutMs);
    int r;
    do {
        r = ::poll(fds, 2, timeout);
    } while (r < 0 && errno == EINTR);
    bool stop = false;
    if (r > 0 && (fds[0].revents & POLLIN) != 0) {
        signalfd_siginfo info;
        stop = ::read(signals, &info, sizeof info) == sizeof info;
    }
    ::close(signals);
    return stop;
}

} // namespace quillory
