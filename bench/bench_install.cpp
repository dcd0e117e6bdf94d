// Installing a 200 MB archive of 100 files into an empty game folder, next to `unzip -o -q` of
// the same archive into an empty folder; then installing it again over itself, which must write
// nothing. The same pair again for an archive of 65,535 small files in one folder, where the cost
// per entry, not per byte, decides, alone and in pairs with unzip. Generated data lives under /tmp
// and is removed at the end.
#include "gantry/client/Installer.h"
#include "gantry/db/FileDatabase.h"

#include <benchmark/benchmark.h>
#include <minizip/zip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using namespace quillory;
namespace fs = std::filesystem;

constexpr int kFiles = 100;
constexpr size_t kFileSize = 2 * 1000 * 1000; // 100 files: 200 MB

const fs::path& Scratch() {
    static const fs::path folder = [] {
        char pattern[] = "/tmp/quillory-bench-install-XXXXXX";
        const char* made = mkdtemp(pattern);
        return fs::path(made ? made : "/tmp/quillory-bench-install");
    }();
    return folder;
}

// Content that deflate shrinks about as much as a game add-on: words from a small alphabet.
std::string FileContent(int index) {
    std::mt19937 random(static_cast<unsigned>(index));
    std::string bytes(kFileSize, '\0');
    for (char& c : bytes)
        c = static_cast<char>('a' + random() % 20);
    return bytes;
}

constexpr int kSmallFiles = 65535; // the most a zip without its 64-bit extension holds

// 40 to 1,000 bytes of text, different for every file.
std::string SmallContent(int index) {
    std::mt19937 random(static_cast<unsigned>(index));
    std::string bytes(40 + random() % 960, '\0');
    for (char& c : bytes)
        c = static_cast<char>('a' + random() % 20);
    return bytes;
}

template <typename Content>
std::string MakeArchive(const char* fileName, int count, const char* folder, Content content) {
    std::string file = (Scratch() / fileName).string();
    zipFile zip = zipOpen64(file.c_str(), APPEND_STATUS_CREATE);
    for (int i = 0; i < count && zip; ++i) {
        std::string name = folder + std::to_string(i) + ".pbo";
        std::string bytes = content(i);
        zip_fileinfo info{};
        info.tmz_date = {0, 0, 12, 15, 5, 2004};
        zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION);
        zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size()));
        zipCloseFileInZip(zip);
    }
    if (zip)
        zipClose(zip, nullptr);
    return file;
}

// Without a description every entry goes to "addons\", where unzip puts it too.
const std::string& SmallFilesArchive() {
    static const std::string path =
        MakeArchive("small.zip", kSmallFiles, "addons/s", [](int i) { return SmallContent(i); });
    return path;
}

const std::string& Archive() {
    static const std::string path = [] {
        std::string file = (Scratch() / "pack.zip").string();
        zipFile zip = zipOpen64(file.c_str(), APPEND_STATUS_CREATE);
        for (int i = 0; i < kFiles && zip; ++i) {
            std::string name = "data/file" + std::to_string(i) + ".pbo";
            std::string content = FileContent(i);
            zip_fileinfo info{};
            info.tmz_date = {0, 0, 12, 15, 5, 2004};
            zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_DEFAULT_COMPRESSION);
            zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size()));
            zipCloseFileInZip(zip);
        }
        if (zip)
            zipClose(zip, nullptr);
        return file;
    }();
    return path;
}

// The folder of a run before is moved aside, not removed, until the end of the program: ext4
// without a journal (as here) passes over inodes freed in the last minutes when it makes new ones,
// so removing 65,535 files just before making as many would measure that search, not the program.
fs::path FreshFolder(const char* name) {
    static int moved = 0;
    fs::path folder = Scratch() / name;
    if (fs::exists(folder)) {
        fs::create_directories(Scratch() / "old");
        fs::rename(folder, Scratch() / "old" / std::to_string(++moved));
    }
    fs::create_directories(folder);
    return folder;
}

struct Game {
    fs::path folder;
    CFileDatabase db;
    std::atomic<uint64_t> done{0}, total{0};

    Game() : folder(FreshFolder("game")), db((Scratch() / "data").string()) {
        fs::create_directories(Scratch() / "data");
        db.SetGamePath(folder.string() + "/");
        db.Scan();
    }
    InstallReport report;
    bool Install(const std::string& archive = Archive()) {
        return InstallPackage(db, archive, done, total, nullptr, &report);
    }
};

void BM_InstallIntoEmptyGame(benchmark::State& state) {
    Archive();
    for (auto _ : state) {
        state.PauseTiming();
        Game game;
        state.ResumeTiming();
        if (!game.Install())
            state.SkipWithError("install failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFiles * int64_t(kFileSize));
}
BENCHMARK(BM_InstallIntoEmptyGame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_UnzipIntoEmptyFolder(benchmark::State& state) {
    const std::string command = "unzip -o -q " + Archive() + " -d ";
    for (auto _ : state) {
        state.PauseTiming();
        fs::path folder = FreshFolder("unzip");
        state.ResumeTiming();
        if (std::system((command + folder.string()).c_str()) != 0)
            state.SkipWithError("unzip failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFiles * int64_t(kFileSize));
}
BENCHMARK(BM_UnzipIntoEmptyFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReinstallOverItself(benchmark::State& state) {
    Game game;
    if (!game.Install()) {
        state.SkipWithError("first install failed");
        return;
    }
    for (auto _ : state)
        if (!game.Install() || !game.report.written.empty())
            state.SkipWithError("reinstall failed or wrote files");
}
BENCHMARK(BM_ReinstallOverItself)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_InstallSmallFilesIntoEmptyGame(benchmark::State& state) {
    SmallFilesArchive();
    for (auto _ : state) {
        state.PauseTiming();
        Game game;
        state.ResumeTiming();
        if (!game.Install(SmallFilesArchive()) || game.report.written.size() != kSmallFiles)
            state.SkipWithError("install failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSmallFiles);
}
BENCHMARK(BM_InstallSmallFilesIntoEmptyGame)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_UnzipSmallFilesIntoEmptyFolder(benchmark::State& state) {
    const std::string command = "unzip -o -q " + SmallFilesArchive() + " -d ";
    for (auto _ : state) {
        state.PauseTiming();
        fs::path folder = FreshFolder("unzip");
        state.ResumeTiming();
        if (std::system((command + folder.string()).c_str()) != 0)
            state.SkipWithError("unzip failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSmallFiles);
}
BENCHMARK(BM_UnzipSmallFilesIntoEmptyFolder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

double SecondsOf(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Pairs run back to back, unzip first in one and the install first in the next, so that both
// sides of every pair meet the same load on a shared machine. The time shown is the install's;
// `unzip_ms` is unzip's mean, `ratio` the installs' total over unzip's, and `worst` the largest
// ratio of one pair.
void BM_InstallSmallFilesBesideUnzip(benchmark::State& state) {
    const std::string command = "unzip -o -q " + SmallFilesArchive() + " -d ";
    double installs = 0, unzips = 0, worst = 0;
    bool unzipFirst = true;
    for (auto _ : state) {
        Game game;
        const fs::path folder = FreshFolder("unzip");
        double install = 0, unzip = 0;
        auto runUnzip = [&] {
            unzip = SecondsOf([&] {
                if (std::system((command + folder.string()).c_str()) != 0)
                    state.SkipWithError("unzip failed");
            });
        };
        auto runInstall = [&] {
            install = SecondsOf([&] {
                if (!game.Install(SmallFilesArchive()) || game.report.written.size() != kSmallFiles)
                    state.SkipWithError("install failed");
            });
        };
        if (unzipFirst) {
            runUnzip();
            runInstall();
        } else {
            runInstall();
            runUnzip();
        }
        unzipFirst = !unzipFirst;
        state.SetIterationTime(install);
        installs += install;
        unzips += unzip;
        worst = std::max(worst, install / unzip);
    }
    state.counters["unzip_ms"] = unzips * 1000.0 / static_cast<double>(state.iterations());
    state.counters["ratio"] = installs / unzips;
    state.counters["worst"] = worst;
    state.SetItemsProcessed(int64_t(state.iterations()) * kSmallFiles);
}
BENCHMARK(BM_InstallSmallFilesBesideUnzip)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(6);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(Scratch(), ignored);
    return 0;
}
