// Downloading a 200 MB archive over loopback with the download engine (transfer thread into a
// temporary file, no install), next to `curl -s -o` of the same URL from the same server.
// The server runs in this process and serves the bytes from memory.
#include "gantry/client/GantryClient.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace quillory;
namespace fs = std::filesystem;

constexpr size_t kArchiveSize = 200 * 1000 * 1000;

const fs::path& Scratch() {
    static const fs::path folder = [] {
        char pattern[] = "/tmp/quillory-bench-download-XXXXXX";
        const char* made = mkdtemp(pattern);
        return fs::path(made ? made : "/tmp/quillory-bench-download");
    }();
    return folder;
}

class Host {
public:
    Host() : body_(kArchiveSize, 'z') {
        for (size_t i = 0; i < body_.size(); i += 97)
            body_[i] = static_cast<char>(i);
        server_.Get("/pack.zip", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(body_.size(), "application/zip",
                                     [this](size_t offset, size_t length, httplib::DataSink& sink) {
                                         size_t n = std::min<size_t>(length, 1 << 16);
                                         sink.write(body_.data() + offset, n);
                                         return true;
                                     });
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Host() {
        server_.stop();
        thread_.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/pack.zip"; }

private:
    std::string body_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

Host& TheHost() {
    static Host host;
    return host;
}

void BM_EngineDownload(benchmark::State& state) {
    fs::create_directories(Scratch() / "data");
    for (auto _ : state) {
        state.PauseTiming();
        CFileDatabase db((Scratch() / "data").string());
        auto record = std::make_shared<CPackage>();
        record->name = "pack";
        record->archivePath = TheHost().Url();
        record->archiveSize = static_cast<uint32_t>(kArchiveSize);
        record->needsDownload = 1;
        db.AddOfferedPackage(record);
        CGantryClient client(db, (Scratch() / "data").string());
        client.SetInstallFunction([](const String&, std::atomic<uint64_t>&, std::atomic<uint64_t>&,
                                     const CPackage&, String&) {
            return true; // measure the transfer alone
        });
        state.ResumeTiming();
        client.Begin();
        while (!client.Finished())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        client.Close();
        if (record->needsDownload)
            state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kArchiveSize));
}
BENCHMARK(BM_EngineDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_CurlCommand(benchmark::State& state) {
    const std::string command =
        "curl -s -o " + (Scratch() / "curl.zip").string() + " " + TheHost().Url();
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("curl failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kArchiveSize));
}
BENCHMARK(BM_CurlCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(Scratch(), ignored);
    return 0;
}
