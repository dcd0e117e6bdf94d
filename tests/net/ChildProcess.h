#pragma once
// Runs a program with its output captured, for tests of the command-line front end.

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quillory::test {

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !finished_) {
            kill(pid_, SIGKILL);
            Finish();
        }
    }

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) { kill(pid_, signal); }

    // Reads both outputs to their end and returns the exit code (-1 when killed by a signal).
    int Finish() {
        std::vector<pollfd> fds = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        int open = 2;
        while (open > 0 && poll(fds.data(), fds.size(), -1) > 0) {
            for (size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                    continue;
                char buffer[4096];
                ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    (i == 0 ? stdout_ : stderr_).append(buffer, size_t(n));
                }
            }
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        finished_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::string& Out() const { return stdout_; }
    const std::string& Err() const { return stderr_; }

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool finished_ = false;
    std::string stdout_, stderr_;
};

} // namespace quillory::test
