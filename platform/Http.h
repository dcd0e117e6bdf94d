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
