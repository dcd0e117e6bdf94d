#pragma once
// Lets a terminal program end cleanly on an interrupt or terminate request: the signals are
// held back and collected by a wait instead of killing the process.

#include <csignal>
#include <cstdint>

namespace quillory {

class CWaitableEvent;

class CStopSignals final {
public:
    // Holds back SIGINT and SIGTERM in this thread and in every thread it starts afterwards:
    // create it before any worker thread.
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // True when a stop was requested, waiting at most `timeoutMs` for one.
    bool Wait(uint32_t timeoutMs);
    // As Wait, but also returns (false) as soon as `done` is set, so a front end ends when its
    // work ends instead of on its next tick.
    bool Wait(uint32_t timeoutMs, CWaitableEvent& done);

private:
    sigset_t saved_;
};

} // namespace quillory
