#pragma once
// The upgrade archive's download: bounded by the size the server announces (at most
// kMaxBody), ended by a stalled body, tried again after a break with the bytes in hand
// continued while the server's validator shows the same file, and stopped when cancelled.

#include "common/Types.h"
#include "platform/Http.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace quillory {

class CUpgradeDownload final {
public:
    // The program is a few megabytes: nothing larger is taken, announced or not.
    static constexpr uint64_t kMaxBody = uint64_t(64) << 20;
    static constexpr int kRetries = 3;

    enum class End {
        Arrived,
        ConnectFailed, // no body began: no server, refused, an error status, a bad address
        WriteFailed,   // the file could not be created or written
        Failed,        // the body broke off, stalled or was too long, also after retries
        Cancelled,
    };

    // Called after each block with the bytes in hand and the whole size when told.
    using ProgressHandler = std::function<void(uint64_t bytes, std::optional<uint64_t> size)>;

    // `firstRetryPauseMs` doubles after each retry.
    CUpgradeDownload(const platform::CHttpSession& session, const std::atomic<bool>& cancelled,
                     uint32_t firstRetryPauseMs);

    // Downloads `url` into the file at `path`.
    End ToFile(const String& url, const String& path, const ProgressHandler& onProgress);
    // Fetches a small text (at most `maxBytes`) once; nothing when it did not arrive whole.
    std::optional<String> Text(const String& url, size_t maxBytes);

private:
    enum class Attempt { Arrived, Retry, StartOver, End };
    struct Partial {
        uint64_t bytes = 0;
        String validator; // empty: the bytes cannot be continued
    };

    Attempt Try(const String& url, const String& path, Partial& partial,
                const ProgressHandler& onProgress, End& end);
    bool WaitBeforeRetry(int retry) const;

    const platform::CHttpSession& session_;
    const std::atomic<bool>& cancelled_;
    uint32_t firstRetryPauseMs_;
    bool bodyBegan_ = false; // some attempt reached the body
};

} // namespace quillory
