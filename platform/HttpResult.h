#pragma once
// The outcome of one HTTP or FTP transfer.

#include <cstdint>
#include <string>

namespace quillory::platform {

enum class HttpStatus {
    Ok,
    NoSession,     // the transfer library could not be set up
    BadUrl,        // malformed, or a scheme other than http, https and ftp
    ConnectFailed, // name lookup or connection failed
    ServerError,   // the server answered with an error status (404, 500, ...)
    TooManyRedirects,
    TimedOut,    // no connection in time, or the body stalled
    Interrupted, // the body ended early or the connection broke
    Cancelled,   // the caller asked to stop
    Refused,     // the caller's block or open handler refused the data
};

struct HttpResult {
    HttpStatus status = HttpStatus::NoSession;
    long responseCode = 0; // HTTP status or FTP reply, 0 when none arrived
    uint64_t bytes = 0;    // body bytes handed to the caller
    std::string message;   // a readable reason, empty on success

    bool Ok() const { return status == HttpStatus::Ok; }
};

// A transfer that broke, stalled or met a passing server error (5xx): worth asking again.
inline bool IsWorthRetrying(const HttpResult& result) {
    return result.status == HttpStatus::Interrupted || result.status == HttpStatus::TimedOut ||
           result.status == HttpStatus::ConnectFailed ||
           (result.status == HttpStatus::ServerError && result.responseCode >= 500 &&
            result.responseCode < 600);
}

} // namespace quillory::platform
