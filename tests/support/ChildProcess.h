#pragma once
// Runs the programs under test as child processes with their output captured.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace quillory::test {

using namespace std::chrono_literals;

// What a finished program left behind.
struct ProgramResult {
    int exitCode = -1; // -1: it did not end in time and was killed
    std::string out;
    std::string err;
};

// Runs `path` with `args` to its end, killing it after `timeout`.
ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout = 60s);

// A program left running while the test talks to it: quillory-sim, or a long watch.
class CChildProcess final {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Start(const std::string& path, const std::vector<std::string>& args);
    // Waits for a whole line on stdout; false at its end or after `timeout`.
    bool ReadLine(std::string& line, std::chrono::milliseconds timeout);
    // Sends `signal` and waits for the end: the exit code, or -1 when killed by a signal.
    int Stop(int signal);
    // Waits for the end, collecting the output: the exit code, or -1 after `timeout`.
    int Wait(std::chrono::milliseconds timeout);

    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }

private:
    // Reads what the pipes hold, waiting up to `waitMs`; false when both are at their end.
    bool Pump(int waitMs);
    int Reap(bool block);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    size_t lineStart_ = 0;
    int exitCode_ = -1;
};

// A block of `span` consecutive ports, free for UDP and TCP on 127.0.0.1 right now, drawn at
// random so that tests running side by side do not meet.
int FreePortBlock(int span = 48);

// Polls `condition` every 50 ms until it holds or `timeout` passes.
template <typename F> bool WaitFor(F condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

} // namespace quillory::test
