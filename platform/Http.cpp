#include "platform/Http.h"

#include "common/AsciiCase.h"
#include "platform/CurlLibrary.h"

#include <algorithm>
#include <memory>

namespace quillory::platform {

namespace {

constexpr const char* kAllowedProtocols = "http,https,ftp";

// What the headers of the current response say; a new status line (after a redirect, or a
// 100 Continue) starts afresh.
struct ResponseHeaders {
    std::string etag;
    std::string lastModified;
    std::optional<uint64_t> rangeStart;
    std::optional<uint64_t> fileSize;
};

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

std::optional<uint64_t> Number(std::string_view digits) {
    if (digits.empty() || digits.size() > 18)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + uint64_t(c - '0');
    }
    return value;
}

// "bytes FIRST-LAST/SIZE" (SIZE may be "*").
void ReadContentRange(std::string_view value, ResponseHeaders& headers) {
    if (!StartsWithNoCase(value, "bytes "))
        return;
    value.remove_prefix(6);
    const size_t dash = value.find('-');
    const size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return;
    headers.rangeStart = Number(Trimmed(value.substr(0, dash)));
    headers.fileSize = Number(Trimmed(value.substr(slash + 1)));
}

void ReadHeaderLine(std::string_view line, ResponseHeaders& headers) {
    if (StartsWithNoCase(line, "HTTP/")) {
        headers = {};
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return;
    const std::string_view name = Trimmed(line.substr(0, colon));
    const std::string_view value = Trimmed(line.substr(colon + 1));
    if (EqualsNoCase(name, "ETag"))
        headers.etag = value;
    else if (EqualsNoCase(name, "Last-Modified"))
        headers.lastModified = value;
    else if (EqualsNoCase(name, "Content-Range"))
        ReadContentRange(value, headers);
}

struct Transfer {
    const CCurlLibrary* lib = nullptr;
    CURL* curl = nullptr;
    const CHttpSession::BlockHandler* onBlock = nullptr;
    const CHttpSession::StartHandler* onStart = nullptr;
    const CHttpSession::CancelCheck* cancelled = nullptr;
    bool ranged = false; // a range was asked for
    ResponseHeaders headers{};
    bool opened = false;
    bool refused = false;
    bool cancelRequested = false;
    uint64_t bytes = 0;

    bool Open() {
        if (opened)
            return true;
        opened = true;
        HttpBodyStart start;
        curl_off_t length = -1;
        if (lib->easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
            length >= 0)
            start.size = static_cast<uint64_t>(length);
        lib->easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &start.responseCode);
        start.etag = headers.etag;
        start.lastModified = headers.lastModified;
        start.fileSize = headers.fileSize;
        // Only a 206 carries a part; anything else is the whole file.
        if (ranged && start.responseCode == 206)
            start.offset = headers.rangeStart.value_or(~uint64_t(0));
        else if (!start.fileSize && start.size)
            start.fileSize = start.size;
        if (*onStart && !(*onStart)(start))
            refused = true;
        return !refused;
    }

    bool Deliver(const char* data, size_t size) {
        if (!Open())
            return false;
        while (size > 0) {
            size_t n = std::min(size, CHttpSession::kBlockSize);
            if (*cancelled && (*cancelled)()) {
                cancelRequested = true;
                return false;
            }
            if (!(*onBlock)(data, n)) {
                refused = true;
                return false;
            }
            bytes += n;
            data += n;
            size -= n;
        }
        return true;
    }
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    ReadHeaderLine(std::string_view(data, size * count), transfer->headers);
    return size * count;
}

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    size_t total = size * count;
    return transfer->Deliver(data, total) ? total : 0;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (*transfer->cancelled && (*transfer->cancelled)()) {
        transfer->cancelRequested = true;
        return 1;
    }
    return 0;
}

// Addresses written by server operators may hold spaces or bytes of a local code page, which a
// browser would escape before asking; the transfer library refuses them raw. Everything else,
// '%' included, is passed as written.
std::string EscapeUnsafe(const std::string& url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(url.size());
    for (char c : url) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == ' ' || byte >= 0x80) {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xF];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

HttpStatus StatusOf(CURLcode code) {
    switch (code) {
    case CURLE_OK:
        return HttpStatus::Ok;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return HttpStatus::BadUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
        return HttpStatus::ConnectFailed;
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_LOGIN_DENIED:
        return HttpStatus::ServerError;
    case CURLE_TOO_MANY_REDIRECTS:
        return HttpStatus::TooManyRedirects;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpStatus::TimedOut;
    case CURLE_ABORTED_BY_CALLBACK:
        return HttpStatus::Cancelled;
    default:
        return HttpStatus::Interrupted;
    }
}

void SetOptions(const CCurlLibrary& lib, CURL* curl, const std::string& agent,
                const HttpOptions& options) {
    lib.easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    lib.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L); // transfers run on worker threads
    lib.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    lib.easy_setopt(curl, CURLOPT_MAXREDIRS, options.maxRedirects);
    lib.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    lib.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    lib.easy_setopt(curl, CURLOPT_FAILONERROR, 1L); // an error page is no archive
    lib.easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 1L);
    lib.easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
    lib.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    lib.easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
    lib.easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options.stallSeconds);
    lib.easy_setopt(curl, CURLOPT_BUFFERSIZE, 65536L);
}

} // namespace

CHttpSession::CHttpSession(std::string agent, HttpOptions options)
    : agent_(std::move(agent)), options_(std::move(options)) {
    if (options_.library.empty()) {
        lib_ = &CCurlLibrary::Shared();
    } else {
        own_ = std::make_unique<CCurlLibrary>(options_.library);
        lib_ = own_.get();
    }
    valid_ = lib_->Loaded();
}

CHttpSession::~CHttpSession() = default;

bool CHttpSession::IsAllowedUrl(std::string_view url) {
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://") ||
           StartsWithNoCase(url, "ftp://");
}

const std::string& CHttpSession::Error() const {
    return lib_->Error();
}

HttpResult CHttpSession::Fetch(const std::string& url, const BlockHandler& onBlock,
                               const OpenHandler& onOpen, const CancelCheck& cancelled) const {
    StartHandler onStart;
    if (onOpen)
        onStart = [&onOpen](const HttpBodyStart& start) { return onOpen(start.size); };
    return Fetch(url, HttpRequest{}, onBlock, onStart, cancelled);
}

HttpResult CHttpSession::Fetch(const std::string& url, const HttpRequest& request,
                               const BlockHandler& onBlock, const StartHandler& onStart,
                               const CancelCheck& cancelled) const {
    HttpResult result;
    if (!valid_) {
        result.message = lib_->Error();
        return result;
    }
    if (!IsAllowedUrl(url)) {
        result.status = HttpStatus::BadUrl;
        result.message = "only http, https and ftp addresses are fetched";
        return result;
    }
    const CCurlLibrary& lib = *lib_;
    // Ask every cache on the way for a fresh copy. The list must outlive the handle that
    // points at it, so it is declared first.
    std::unique_ptr<curl_slist, decltype(lib.slist_free_all)> headers(nullptr, lib.slist_free_all);
    headers.reset(lib.slist_append(headers.release(), "Cache-Control: no-cache"));
    headers.reset(lib.slist_append(headers.release(), "Pragma: no-cache"));
    const bool ranged = request.resumeFrom > 0 && !StartsWithNoCase(url, "ftp://");
    const std::string range = std::to_string(request.resumeFrom) + "-";
    if (ranged && !request.ifRange.empty())
        headers.reset(
            lib.slist_append(headers.release(), ("If-Range: " + request.ifRange).c_str()));
    std::unique_ptr<CURL, decltype(lib.easy_cleanup)> curl(lib.easy_init(), lib.easy_cleanup);
    if (!curl) {
        result.message = "the transfer library could not be set up";
        return result;
    }
    Transfer transfer{&lib, curl.get(), &onBlock, &onStart, &cancelled, ranged};
    SetOptions(lib, curl.get(), agent_, options_);
    lib.easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    const std::string requested = EscapeUnsafe(url);
    lib.easy_setopt(curl.get(), CURLOPT_URL, requested.c_str());
    lib.easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, OnWrite);
    lib.easy_setopt(curl.get(), CURLOPT_WRITEDATA, &transfer);
    lib.easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, OnHeader);
    lib.easy_setopt(curl.get(), CURLOPT_HEADERDATA, &transfer);
    // A plain Range header, not curl's resume: a server that answers with the whole file
    // (If-Range failed, or no range support) is no error here, the receiver starts over.
    if (ranged)
        lib.easy_setopt(curl.get(), CURLOPT_RANGE, range.c_str());
    lib.easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    lib.easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, OnProgress);
    lib.easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &transfer);
    char error[CURL_ERROR_SIZE] = {};
    lib.easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, error);

    CURLcode code = lib.easy_perform(curl.get());
    if (code == CURLE_OK && !transfer.Open())
        code = CURLE_WRITE_ERROR; // an empty body the caller would not take
    lib.easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.responseCode);
    result.bytes = transfer.bytes;
    if (transfer.cancelRequested)
        result.status = HttpStatus::Cancelled;
    else if (transfer.refused)
        result.status = HttpStatus::Refused;
    else
        result.status = StatusOf(code);
    if (result.status == HttpStatus::Cancelled)
        result.message = "cancelled";
    else if (result.status == HttpStatus::Refused)
        result.message = "the receiver did not take the data";
    else if (result.status != HttpStatus::Ok)
        result.message = error[0] ? error : lib.easy_strerror(code);
    return result;
}

} // namespace quillory::platform
