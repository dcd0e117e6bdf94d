#include "tools/sim/PackageHost.h"

#include "common/AsciiCase.h"
#include "tools/sim/GantryDescription.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace quillory::sim {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlock = 4096;
// A slow transfer looks at the stop request this often.
constexpr std::chrono::milliseconds kPaceSlice{50};

bool Listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Sends the bytes of one archive from `start` on, up to `limit` of them counted from the
// archive's beginning, at about `rate` bytes per second (0: at once); stops the connection when
// the limit falls short of the file. Counts what it sent into `sent`.
class CArchiveSender {
public:
    CArchiveSender(const fs::path& path, uint64_t start, uint64_t limit, uint64_t rate,
                   const std::atomic<bool>& stopping, std::atomic<uint64_t>& sent)
        : file_(path, std::ios::binary), start_(start), limit_(limit), rate_(rate),
          begun_(std::chrono::steady_clock::now()), stopping_(stopping), sent_(sent) {}

    bool Send(size_t offset, size_t length, httplib::DataSink& sink) {
        const uint64_t at = start_ + offset;
        if (at >= limit_)
            return false; // the body is cut short here: the connection closes
        char block[kBlock];
        const size_t want = size_t(std::min<uint64_t>({length, kBlock, limit_ - at}));
        file_.seekg(std::streamoff(at));
        if (!file_.read(block, std::streamsize(want)))
            return false;
        if (!Pace(offset + want) || !sink.write(block, want))
            return false;
        sent_ += want;
        return true;
    }

private:
    // Waits until `sentAfter` bytes are due; false when the host is stopping meanwhile.
    bool Pace(uint64_t sentAfter) const {
        if (rate_ == 0)
            return true;
        const auto due = begun_ + std::chrono::microseconds(sentAfter * 1000000 / rate_);
        while (std::chrono::steady_clock::now() < due) {
            if (stopping_)
                return false;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                kPaceSlice, due - std::chrono::steady_clock::now()));
        }
        return !stopping_;
    }

    std::ifstream file_;
    uint64_t start_;
    uint64_t limit_;
    uint64_t rate_;
    std::chrono::steady_clock::time_point begun_;
    const std::atomic<bool>& stopping_;
    std::atomic<uint64_t>& sent_;
};

// The validators of one served file, as a common web server makes them.
struct Validators {
    std::string etag;
    std::string lastModified;
};

Validators ValidatorsOf(const fs::path& path, uint64_t size, const std::string& kinds) {
    Validators v;
    std::error_code ec;
    const auto written = fs::last_write_time(path, ec);
    const auto since = written.time_since_epoch();
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(written).time_since_epoch());
    if (kinds == "both" || kinds == "etag") {
        char etag[64];
        std::snprintf(etag, sizeof etag, "\"%llx-%llx\"", (unsigned long long)size,
                      (unsigned long long)nanos);
        v.etag = etag;
    }
    if (kinds == "both" || kinds == "last-modified") {
        const std::time_t t = std::time_t(seconds.count());
        std::tm tm{};
        gmtime_r(&t, &tm);
        char date[64];
        std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &tm);
        v.lastModified = date;
    }
    return v;
}

// The first byte asked for by "Range: bytes=N-", when that is the whole header.
std::optional<uint64_t> RangeStart(const std::string& header) {
    static const std::string kPrefix = "bytes=";
    if (header.compare(0, kPrefix.size(), kPrefix) != 0 || header.back() != '-')
        return std::nullopt;
    const std::string digits = header.substr(kPrefix.size(), header.size() - kPrefix.size() - 1);
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoull(digits);
}

} // namespace

CPackageHost::CPackageHost(const SimOptions& options)
    : options_(options), server_(std::make_unique<httplib::Server>()) {}

CPackageHost::~CPackageHost() {
    Stop();
}

bool CPackageHost::Start(std::string& error, std::vector<std::string>& warnings) {
    const std::vector<std::string> archives = ServedNames();
    for (const auto* list :
         {&options_.httpFail, &options_.httpCut, &options_.httpCutOnce, &options_.httpBusyOnce})
        for (const std::string& name : *list)
            if (!Listed(archives, name))
                warnings.push_back("no archive '" + name + "' to fail over HTTP");
    server_->Get("/(.*)", [this](const httplib::Request& request, httplib::Response& response) {
        Serve(request, response);
        if (options_.verbose)
            std::fprintf(stderr, "quillory-sim: HTTP %s %s: %d\n", request.method.c_str(),
                         request.path.c_str(), response.status == -1 ? 200 : response.status);
    });
    if (!server_->bind_to_port(options_.address, options_.httpPort)) {
        error = "cannot listen on HTTP port " + std::to_string(options_.httpPort);
        return false;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

void CPackageHost::Stop() {
    if (!thread_.joinable())
        return;
    stopping_ = true;
    server_->stop();
    thread_.join();
}

void CPackageHost::Serve(const httplib::Request& request, httplib::Response& response) const {
    // The library would apply a Range header on its own; this host decides itself, so it
    // takes the ranges away (the request object is the server's own, not a constant).
    const_cast<httplib::Request&>(request).ranges.clear();
    // Only the archives of the folder are served: a plain file name, nothing else.
    const std::string name = request.matches[1];
    if (ServeSignature(name, response))
        return;
    if (!Listed(ServedNames(), name) || Listed(options_.httpFail, name))
        return Fail(response, 404, "no archive '" + name + "'");
    const int earlier = CountRequest(name);
    if (earlier == 0 && Listed(options_.httpBusyOnce, name))
        return Fail(response, 503, "busy, try again");
    const fs::path upgrade(options_.upgradeArchive);
    fs::path path = !upgrade.empty() && upgrade.filename() == name
                        ? upgrade
                        : fs::path(options_.gantryDir) / name;
    if (const std::string changed = ChangedFile(name); earlier > 0 && !changed.empty())
        path = changed;
    std::error_code ec;
    const uint64_t size = fs::file_size(path, ec);
    if (ec)
        return Fail(response, 500, ec.message());
    const Validators validators = ValidatorsOf(path, size, options_.httpValidators);
    if (!validators.etag.empty())
        response.set_header("ETag", validators.etag);
    if (!validators.lastModified.empty())
        response.set_header("Last-Modified", validators.lastModified);
    ++responses_;
    if (size == 0)
        return response.set_content("", "application/zip");

    // A range is honoured unless told not to, and only while If-Range (when sent) names the
    // file as it is now; otherwise the whole file goes out.
    std::optional<uint64_t> start;
    if (!options_.httpNoRange && request.has_header("Range")) {
        const std::string ifRange = request.get_header_value("If-Range");
        if (ifRange.empty() || ifRange == validators.etag || ifRange == validators.lastModified)
            start = RangeStart(request.get_header_value("Range"));
    }
    if (start && *start >= size) {
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        return Fail(response, 416, "range not satisfiable");
    }
    const uint64_t from = start.value_or(0);
    if (start) {
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                 std::to_string(size - 1) + "/" +
                                                 std::to_string(size));
    }
    const bool cut =
        Listed(options_.httpCut, name) || (earlier == 0 && Listed(options_.httpCutOnce, name));
    const uint64_t cutAt = options_.httpCutAt != 0 ? std::min(options_.httpCutAt, size) : size / 2;
    auto sender = std::make_shared<CArchiveSender>(path, from, cut ? cutAt : size,
                                                   options_.httpRate, stopping_, bytesSent_);
    response.set_content_provider(size_t(size - from), "application/zip",
                                  [sender](size_t offset, size_t length, httplib::DataSink& sink) {
                                      return sender->Send(offset, length, sink);
                                  });
}

int CPackageHost::CountRequest(const std::string& name) const {
    std::lock_guard guard(requestsLock_);
    return requests_[name]++;
}

std::string CPackageHost::ChangedFile(const std::string& name) const {
    for (const std::string& pair : options_.httpChange)
        if (pair.compare(0, name.size() + 1, name + ":") == 0)
            return pair.substr(name.size() + 1);
    return {};
}

std::string CPackageHost::StatsText() const {
    return "package host: sent " + std::to_string(bytesSent_.load()) + " body bytes in " +
           std::to_string(responses_.load()) + " responses";
}

std::vector<std::string> CPackageHost::ServedNames() const {
    std::vector<std::string> names;
    if (options_.GantryOn())
        names = GantryArchiveNames(options_.gantryDir);
    if (!options_.upgradeArchive.empty())
        names.push_back(fs::path(options_.upgradeArchive).filename().string());
    return names;
}

bool CPackageHost::ServeSignature(const std::string& name, httplib::Response& response) const {
    const bool served = !options_.upgradeSignature.empty() || options_.upgradeBadSignature;
    if (!served || options_.upgradeArchive.empty() ||
        name != fs::path(options_.upgradeArchive).filename().string() + ".minisig")
        return false;
    std::string text;
    if (!options_.upgradeSignature.empty()) {
        std::ifstream file(options_.upgradeSignature, std::ios::binary);
        std::ostringstream read;
        if (!file || !(read << file.rdbuf())) {
            Fail(response, 500, "cannot read " + options_.upgradeSignature);
            return true;
        }
        text = read.str();
    }
    if (options_.upgradeBadSignature) {
        // One character of the signature line changed, or a signature of nothing at all.
        const size_t line = text.find('\n');
        if (line != std::string::npos && line + 20 < text.size())
            text[line + 20] = text[line + 20] == 'A' ? 'B' : 'A';
        else
            text = "untrusted comment: bad\nRUQ" + std::string(97, 'A') +
                   "\ntrusted comment: bad\n" + std::string(86, 'A') + "==\n";
    }
    response.set_content(text, "text/plain");
    return true;
}

void CPackageHost::Fail(httplib::Response& response, int status, const std::string& reason) const {
    response.status = status;
    response.set_content(reason + "\n", "text/plain");
}

} // namespace quillory::sim
