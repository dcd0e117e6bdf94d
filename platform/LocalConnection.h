#pragma once
// One connection over a local (Unix-domain) stream socket: the later copy's side, which
// connects and sends its line, and the running copy's side, which reads it without blocking.

#include "common/Types.h"

#include <cstddef>

namespace quillory::platform {

class CLocalConnection final {
public:
    CLocalConnection() = default;
    // Takes `fd`, an accepted non-blocking connection.
    explicit CLocalConnection(int fd) : fd_(fd) {}
    ~CLocalConnection();
    CLocalConnection(const CLocalConnection&) = delete;
    CLocalConnection& operator=(const CLocalConnection&) = delete;

    // Connects to the listener at `path`, waiting at most `timeoutMs` for a busy one; false
    // when nobody listens there or it did not take the connection in time.
    bool Connect(const String& path, int timeoutMs);
    // Sends all of `data`, waiting at most `timeoutMs` for room; false when it could not.
    bool SendAll(const char* data, size_t size, int timeoutMs);

    enum class ReadState { DATA, NOTHING_YET, CLOSED };
    // What is there to read now, without waiting: up to `capacity` bytes into `buffer`
    // (`got` set), nothing yet, or the end (the peer closed, or an error).
    ReadState Read(char* buffer, size_t capacity, size_t& got);

    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

} // namespace quillory::platform
