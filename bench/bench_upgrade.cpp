// The self-upgrade of a program folder from a signed archive of 20,000 small files in one
// folder, served from an in-process HTTP server on loopback: download, signature check, entry
// checks, staging and the renames into place. The cost per entry decides; it must grow
// linearly. The key pair is made by `minisign`; generated data lives under /tmp and is removed
// at the end.
#include "watch/core/UpgradeWorker.h"

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <minizip/zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace quillory;
namespace fs = std::filesystem;

struct Fixture {
    fs::path folder;
    std::string key;
    std::string archive;
    std::string signature;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool WriteArchive(const fs::path& path, int entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    for (int i = 0; i < entries; ++i) {
        const std::string name = "data/file" + std::to_string(i) + ".txt";
        const std::string data = "content of file " + std::to_string(i) + "\n";
        zip_fileinfo info{};
        zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0);
        zipWriteInFileInZip(zip, data.data(), unsigned(data.size()));
        zipCloseFileInZip(zip);
    }
    return zipClose(zip, nullptr) == ZIP_OK;
}

// The archive and its signature, made once.
const Fixture& Prepared(int entries) {
    static Fixture fixture = [entries] {
        Fixture f;
        char pattern[] = "/tmp/quillory-bench-upgrade-XXXXXX";
        f.folder = mkdtemp(pattern);
        const fs::path archive = f.folder / "quillory.ozp";
        WriteArchive(archive, entries);
        const std::string keys = "minisign -G -f -W -p " + (f.folder / "k.pub").string() + " -s " +
                                 (f.folder / "k.key").string() + " >/dev/null";
        const std::string sign = "minisign -S -s " + (f.folder / "k.key").string() + " -m " +
                                 archive.string() + " >/dev/null";
        if (std::system(keys.c_str()) != 0 || std::system(sign.c_str()) != 0)
            std::fprintf(stderr, "bench_upgrade: minisign failed\n");
        f.key = ReadAll(f.folder / "k.pub");
        f.archive = ReadAll(archive);
        f.signature = ReadAll(archive.string() + ".minisig");
        return f;
    }();
    return fixture;
}

void BM_UpgradeEntries(benchmark::State& state) {
    const int entries = int(state.range(0));
    const Fixture& f = Prepared(entries);
    httplib::Server server;
    server.Get("/quillory.ozp", [&f](const httplib::Request&, httplib::Response& response) {
        response.set_content(f.archive, "application/zip");
    });
    server.Get("/quillory.ozp.minisig", [&f](const httplib::Request&, httplib::Response& r) {
        r.set_content(f.signature, "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&server] { server.listen_after_bind(); });
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/quillory.ozp";
    int failures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path program = f.folder / "program";
        fs::remove_all(program);
        fs::create_directories(program / "data");
        state.ResumeTiming();
        CUpgradeWorker::Options options;
        options.trustedKey = f.key;
        options.limits.maxEntries = size_t(entries);
        CUpgradeWorker worker(url, {program.string() + "/", (f.folder / "dl.ozp").string()},
                              nullptr, options);
        failures += worker.Run() != CUpgradeWorker::RESULT_OK;
    }
    state.counters["failures"] = failures;
    state.counters["entries/s"] =
        benchmark::Counter(double(entries), benchmark::Counter::kIsIterationInvariantRate);
    server.stop();
    serving.join();
}
BENCHMARK(BM_UpgradeEntries)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(Prepared(20000).folder, ignored);
    return 0;
}
