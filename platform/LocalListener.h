#pragma once
// A listening local (Unix-domain) stream socket whose file only its user may open, for the one
// running copy of the program to hear later copies. Non-blocking: the owner watches Fd() in its
// event loop and calls Accept() when it is readable.

#include "common/Types.h"

namespace quillory::platform {

class CLocalListener final {
public:
    CLocalListener() = default;
    // Stops listening and removes the socket file.
    ~CLocalListener();
    CLocalListener(const CLocalListener&) = delete;
    CLocalListener& operator=(const CLocalListener&) = delete;

    // Listens at `path`; false with `error` saying why when it cannot (the name is taken, the
    // path is too long for a socket, the folder refuses it).
    bool Listen(const String& path, String& error);
    // -1 when not listening.
    int Fd() const { return fd_; }
    // A connection waiting to be taken, as a non-blocking descriptor the caller owns; -1 when
    // none waits.
    int Accept();

    // Removes a socket file left at `path` by a copy that ended without removing it.
    static void RemoveStale(const String& path);

private:
    int fd_ = -1;
    String path_;
};

} // namespace quillory::platform
