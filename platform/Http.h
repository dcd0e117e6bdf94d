#pragma once
// HTTP, HTTPS and FTP downloads for package archives and upgrades. Every transfer asks the
// server afresh (no cached copy), uses passive FTP and binary mode, and hands the body to the
// caller in blocks of at most kBlockSize bytes. Addresses come from servers, so only http,
// https and ftp are followed, for redirects too, and redirects are bounded.

#include "platform/HttpResult.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillory::platform {

struct HttpOptions {
    long connectTimeoutSeconds = 30;
    // A body that delivers fewer than lowSpeedBytes a second on average for stallSeconds fails
    // as TimedOut: a trickle of a few bytes a second must not hold a download forever, while
    // any real connection, even an old modem's, stays well above 1 KB/s.
    long lowSpeedBytes = 1024;
    long stallSeconds = 60;
    long maxRedirects = 5;
    // The libcurl shared object to load; empty: the process's shared copy of libcurl.so.4.
    std::string library;
};

// What to ask for besides the whole body.
struct HttpRequest {
    // Ask for the body from this byte on ("Range: bytes=N-"), over http and https only.
    uint64_t resumeFrom = 0;
    // Sent as If-Range with the range: the server then sends the whole body instead when the
    // file no longer has this ETag or Last-Modified date.
    std::string ifRange;
};

// What the server said about the body that begins.
struct HttpBodyStart {
    std::optional<uint64_t> size; // bytes of this body, when told
    long responseCode = 0;
    // Where this body starts in the whole file: resumeFrom when the server sent the range
    // asked for, 0 when it sent the whole file, and what its Content-Range says otherwise.
    uint64_t offset = 0;
    std::optional<uint64_t> fileSize; // from Content-Range, when told
    std::string etag;                 // validators of the file, empty when not sent
    std::string lastModified;
};

// The validator a range request can be guarded with: a strong ETag, else the date.
inline std::string ValidatorOf(const HttpBodyStart& body) {
    if (!body.etag.empty() && !body.etag.starts_with("W/"))
        return body.etag;
    return body.lastModified;
}

class CCurlLibrary;

class CHttpSession final {
public:
    static constexpr size_t kBlockSize = 4096;
    static constexpr const char* kAgent = "Gantry Client";

    // Called once, before the first block, with the body size when the server tells it.
    // Returning false stops the transfer (Refused).
    using OpenHandler = std::function<bool(std::optional<uint64_t> size)>;
    // Called with each block of the body; returning false stops the transfer (Refused).
    using BlockHandler = std::function<bool(const char* data, size_t size)>;
    // As OpenHandler, with all the server said about the body.
    using StartHandler = std::function<bool(const HttpBodyStart& start)>;
    // Polled while the transfer runs, also while the server is silent; true stops it.
    using CancelCheck = std::function<bool()>;

    // Loads libcurl on the first session of the process, not at start-up.
    explicit CHttpSession(std::string agent = kAgent, HttpOptions options = {});
    ~CHttpSession();
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    // False when the transfer library could not be loaded or set up: every Fetch then fails
    // with Error() as its message.
    bool IsValid() const { return valid_; }
    const std::string& Error() const;

    // Fetches `url`. The open handler runs when the body starts, or at the end for an empty
    // body, so a failure to connect never reaches it.
    HttpResult Fetch(const std::string& url, const BlockHandler& onBlock,
                     const OpenHandler& onOpen = {}, const CancelCheck& cancelled = {}) const;

    // As above, asking for part of the body as `request` says.
    HttpResult Fetch(const std::string& url, const HttpRequest& request,
                     const BlockHandler& onBlock, const StartHandler& onStart,
                     const CancelCheck& cancelled = {}) const;

    // True for an http://, https:// or ftp:// address (scheme in any letter case).
    static bool IsAllowedUrl(std::string_view url);

private:
    std::string agent_;
    HttpOptions options_;
    std::unique_ptr<CCurlLibrary> own_; // a library other than the shared one
    const CCurlLibrary* lib_ = nullptr;
    bool valid_ = false;
};

} // namespace quillory::platform
