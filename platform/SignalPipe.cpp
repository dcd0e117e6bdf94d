#include "platform/SignalPipe.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quillory::platform {

namespace {

// The write end for the handler: a signal handler has no other way to reach the pipe.
std::atomic<int> g_writeFd{-1};

struct sigaction g_previousInt;
struct sigaction g_previousTerm;

void OnSignal(int) {
    const int saved = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

CSignalPipe::CSignalPipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    g_writeFd.store(writeFd_);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previousInt);
    sigaction(SIGTERM, &action, &g_previousTerm);
}

CSignalPipe::~CSignalPipe() {
    if (readFd_ < 0)
        return;
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
    g_writeFd.store(-1);
    close(readFd_);
    close(writeFd_);
}

int CSignalPipe::Drain() {
    int count = 0;
    char buffer[64];
    ssize_t got = 0;
    while (readFd_ >= 0 && (got = read(readFd_, buffer, sizeof buffer)) > 0)
        count += static_cast<int>(got);
    return count;
}

} // namespace quillory::platform
