#include "tools/sim/PackageHost.h"

#include "common/AsciiCase.h"
#include "tools/sim/GantryDescription.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace quillory::sim {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlock = 4096;
// A slow transfer looks at the stop request this often.
constexpr std::chrono::milliseconds kPaceSlice{50};

bool Listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Sends the bytes of one archive, up to `limit` of them, at about `rate` bytes per second
// (0: at once); stops the connection when the limit falls short of the file.
class CArchiveSender {
public:
    CArchiveSender(const fs::path& path, uint64_t limit, uint64_t rate,
                   const std::atomic<bool>& stopping)
        : file_(path, std::ios::binary), limit_(limit), rate_(rate),
          start_(std::chrono::steady_clock::now()), stopping_(stopping) {}

    bool Send(size_t offset, size_t length, httplib::DataSink& sink) {
        if (offset >= limit_)
            return false; // the body is cut short here: the connection closes
        char block[kBlock];
        const size_t want = size_t(std::min<uint64_t>({length, kBlock, limit_ - offset}));
        file_.seekg(std::streamoff(offset));
        if (!file_.read(block, std::streamsize(want)))
            return false;
        return Pace(offset + want) && sink.write(block, want);
    }

private:
    // Waits until `sentAfter` bytes are due; false when the host is stopping meanwhile.
    bool Pace(uint64_t sentAfter) const {
        if (rate_ == 0)
            return true;
        const auto due = start_ + std::chrono::microseconds(sentAfter * 1000000 / rate_);
        while (std::chrono::steady_clock::now() < due) {
            if (stopping_)
                return false;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                kPaceSlice, due - std::chrono::steady_clock::now()));
        }
        return !stopping_;
    }

    std::ifstream file_;
    uint64_t limit_;
    uint64_t rate_;
    std::chrono::steady_clock::time_point start_;
    const std::atomic<bool>& stopping_;
};

} // namespace

CPackageHost::CPackageHost(const SimOptions& options)
    : options_(options), server_(std::make_unique<httplib::Server>()) {}

CPackageHost::~CPackageHost() {
    Stop();
}

bool CPackageHost::Start(std::string& error, std::vector<std::string>& warnings) {
    const std::vector<std::string> archives = ServedNames();
    for (const auto* list : {&options_.httpFail, &options_.httpCut})
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
    // Only the archives of the folder are served: a plain file name, nothing else.
    const std::string name = request.matches[1];
    if (!Listed(ServedNames(), name) || Listed(options_.httpFail, name))
        return Fail(response, 404, "no archive '" + name + "'");
    const fs::path upgrade(options_.upgradeArchive);
    const fs::path path = !upgrade.empty() && upgrade.filename() == name
                              ? upgrade
                              : fs::path(options_.gantryDir) / name;
    std::error_code ec;
    const uint64_t size = fs::file_size(path, ec);
    if (ec)
        return Fail(response, 500, ec.message());
    if (size == 0)
        return response.set_content("", "application/zip");
    const uint64_t limit = Listed(options_.httpCut, name) ? size / 2 : size;
    auto sender = std::make_shared<CArchiveSender>(path, limit, options_.httpRate, stopping_);
    response.set_content_provider(size_t(size), "application/zip",
                                  [sender](size_t offset, size_t length, httplib::DataSink& sink) {
                                      return sender->Send(offset, length, sink);
                                  });
}

std::vector<std::string> CPackageHost::ServedNames() const {
    std::vector<std::string> names;
    if (options_.GantryOn())
        names = GantryArchiveNames(options_.gantryDir);
    if (!options_.upgradeArchive.empty())
        names.push_back(fs::path(options_.upgradeArchive).filename().string());
    return names;
}

void CPackageHost::Fail(httplib::Response& response, int status, const std::string& reason) const {
    response.status = status;
    response.set_content(reason + "\n", "text/plain");
}

} // namespace quillory::sim
