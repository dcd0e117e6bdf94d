#include "watch/core/UpgradeDownload.h"

#include "common/FileHandle.h"

#include <chrono>
#include <thread>

namespace quillory {

CUpgradeDownload::CUpgradeDownload(const platform::CHttpSession& session,
                                   const std::atomic<bool>& cancelled, uint32_t firstRetryPauseMs)
    : session_(session), cancelled_(cancelled), firstRetryPauseMs_(firstRetryPauseMs) {}

CUpgradeDownload::End CUpgradeDownload::ToFile(const String& url, const String& path,
                                               const ProgressHandler& onProgress) {
    Partial partial;
    End end = End::Failed;
    for (int retry = 0;;) {
        switch (Try(url, path, partial, onProgress, end)) {
        case Attempt::Arrived:
            return End::Arrived;
        case Attempt::StartOver:
            partial = {};
            continue;
        case Attempt::Retry:
            if (retry < kRetries && WaitBeforeRetry(retry++))
                continue;
            if (cancelled_)
                return End::Cancelled;
            return bodyBegan_ ? End::Failed : End::ConnectFailed;
        case Attempt::End:
            return end;
        }
    }
}

CUpgradeDownload::Attempt CUpgradeDownload::Try(const String& url, const String& path,
                                                Partial& partial, const ProgressHandler& onProgress,
                                                End& end) {
    platform::HttpRequest request;
    request.resumeFrom = partial.validator.empty() ? 0 : partial.bytes;
    request.ifRange = partial.validator;
    CFileHandle file;
    bool writeFailed = false, startOver = false, tooLong = false;
    uint64_t limit = kMaxBody;
    std::optional<uint64_t> whole;

    const auto onStart = [&](const platform::HttpBodyStart& body) {
        bodyBegan_ = true;
        if (body.offset != 0 &&
            (body.offset != partial.bytes ||
             (body.etag != partial.validator && body.lastModified != partial.validator))) {
            startOver = true; // a part, but not of the file in hand
            return false;
        }
        if (body.size)
            whole = body.offset + *body.size;
        if (whole && *whole > kMaxBody) {
            tooLong = true;
            return false;
        }
        limit = whole.value_or(kMaxBody);
        partial.bytes = body.offset;
        partial.validator = platform::ValidatorOf(body);
        writeFailed = !file.Open(path, body.offset == 0 ? CFileHandle::MODE_CREATE
                                                        : CFileHandle::MODE_APPEND);
        return !writeFailed;
    };
    const auto onBlock = [&](const char* data, size_t count) {
        if (partial.bytes + count > limit) {
            tooLong = true;
            return false;
        }
        if (file.Write(data, count) != int64_t(count)) {
            writeFailed = true;
            return false;
        }
        partial.bytes += count;
        if (onProgress)
            onProgress(partial.bytes, whole);
        return true;
    };
    const auto cancelled = [this] { return cancelled_.load(); };

    const platform::HttpResult result = session_.Fetch(url, request, onBlock, onStart, cancelled);
    const bool closed = !file.IsOpen() || file.Close();
    if (result.Ok() && closed && !writeFailed)
        return Attempt::Arrived;
    if (startOver || (request.resumeFrom > 0 && result.responseCode == 416))
        return Attempt::StartOver;
    if (writeFailed || (result.Ok() && !closed))
        end = End::WriteFailed;
    else if (tooLong)
        end = End::Failed;
    else if (result.status == platform::HttpStatus::Cancelled || cancelled_)
        end = End::Cancelled;
    else if (platform::IsWorthRetrying(result))
        return Attempt::Retry;
    else
        end = bodyBegan_ ? End::Failed : End::ConnectFailed;
    return Attempt::End;
}

bool CUpgradeDownload::WaitBeforeRetry(int retry) const {
    constexpr uint32_t kSlice = 50;
    for (uint32_t waited = 0; waited < (firstRetryPauseMs_ << retry); waited += kSlice) {
        if (cancelled_)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kSlice));
    }
    return !cancelled_;
}

std::optional<String> CUpgradeDownload::Text(const String& url, size_t maxBytes) {
    String text;
    const auto onBlock = [&](const char* data, size_t count) {
        if (text.size() + count > maxBytes)
            return false;
        text.append(data, count);
        return true;
    };
    const auto cancelled = [this] { return cancelled_.load(); };
    if (!session_.Fetch(url, onBlock, {}, cancelled).Ok())
        return std::nullopt;
    return text;
}

} // namespace quillory
