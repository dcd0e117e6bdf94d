#pragma once
// Turns SIGINT and SIGTERM into a byte on a pipe, so that an event loop can watch the pipe and
// end the program in its own time; the signal handler itself only writes that byte.

namespace quillory::platform {

class CSignalPipe final {
public:
    // Installs the handlers; only one instance may exist at a time (a signal handler can
    // reach nothing but a process-wide descriptor).
    CSignalPipe();
    // Restores the previous handlers and closes the pipe.
    ~CSignalPipe();
    CSignalPipe(const CSignalPipe&) = delete;
    CSignalPipe& operator=(const CSignalPipe&) = delete;

    // The descriptor that becomes readable on a signal; -1 when the pipe could not be made.
    int ReadFd() const { return readFd_; }
    // Takes the pending bytes; the number of signals seen since the last call.
    int Drain();

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

} // namespace quillory::platform
