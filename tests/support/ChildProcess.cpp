#include "tests/support/ChildProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillory::test {

namespace {

bool PortFree(int type, int port) {
    int fd = socket(AF_INET, type, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    close(fd);
    return ok;
}

// Claims the block starting at `base` for this test process until it ends, so that a test
// running beside it never picks the same block: ports that are free when checked could
// otherwise be taken by the other test's simulator a moment later. The claim is a bound name
// in the abstract socket namespace, which leaves no file behind; the socket stays open on
// purpose, and the process's end releases it.
bool ClaimBlock(int base) {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const std::string name = "quillory-test-ports-" + std::to_string(base);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    name.copy(a.sun_path + 1, sizeof a.sun_path - 2); // a leading zero byte: abstract
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0) {
        close(fd);
        return false;
    }
    return true;
}

} // namespace

CChildProcess::~CChildProcess() {
    if (pid_ > 0)
        Stop(SIGKILL);
    if (outFd_ >= 0)
        close(outFd_);
    if (errFd_ >= 0)
        close(errFd_);
}

bool CChildProcess::Start(const std::string& path, const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return false;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    if (rc != 0)
        pid_ = -1;
    return rc == 0;
}

bool CChildProcess::Pump(int waitMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0)
        return false;
    if (poll(fds, 2, waitMs) <= 0)
        return true;
    int* owners[2] = {&outFd_, &errFd_};
    std::string* sinks[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0)
            continue;
        char buffer[4096];
        ssize_t got = read(fds[i].fd, buffer, sizeof(buffer));
        if (got > 0) {
            sinks[i]->append(buffer, size_t(got));
        } else if (got == 0 || errno != EINTR) {
            close(*owners[i]);
            *owners[i] = -1;
        }
    }
    return outFd_ >= 0 || errFd_ >= 0;
}

bool CChildProcess::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        size_t eol = out_.find('\n', lineStart_);
        if (eol != std::string::npos) {
            line = out_.substr(lineStart_, eol - lineStart_);
            lineStart_ = eol + 1;
            return true;
        }
        if (std::chrono::steady_clock::now() > end || !Pump(50))
            return false;
    }
}

int CChildProcess::Reap(bool block) {
    if (pid_ <= 0)
        return exitCode_;
    int status = 0;
    pid_t done = waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (done != pid_)
        return -2;
    pid_ = -1;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exitCode_;
}

int CChildProcess::Stop(int signal) {
    if (pid_ > 0)
        kill(pid_, signal);
    while (Pump(50)) {
    }
    return Reap(true);
}

int CChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        const bool open = Pump(50);
        const int code = Reap(false);
        if (code != -2) {
            while (Pump(0)) {
            }
            return code;
        }
        if (!open)
            std::this_thread::sleep_for(10ms);
    }
    return -1;
}

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout) {
    CChildProcess child;
    ProgramResult result;
    if (!child.Start(path, args))
        return result;
    result.exitCode = child.Wait(timeout);
    if (child.Running())
        child.Stop(SIGKILL);
    result.out = child.Out();
    result.err = child.Err();
    return result;
}

int FreePortBlock(int span) {
    std::mt19937 rng(unsigned(getpid()) * 2654435761u ^ unsigned(std::random_device{}()));
    for (int attempt = 0; attempt < 200; ++attempt) {
        // Below the system's ephemeral ports (32768 and up), so no client socket takes one.
        const int base = 10048 + int(rng() % 340) * 64;
        bool free = true;
        for (int port = base; port < base + span && free; ++port)
            free = PortFree(SOCK_DGRAM, port) && PortFree(SOCK_STREAM, port);
        if (free && ClaimBlock(base))
            return base;
    }
    return 0;
}

} // namespace quillory::test
