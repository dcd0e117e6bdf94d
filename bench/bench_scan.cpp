// The installation scanner over a generated game folder (bench/run_scan_bench.sh makes it and
// passes it in QUILLORY_SCAN_TREE): the first scan next to a plain loop that reads every file
// and folds zlib's crc32 over it, and a rescan of the unchanged folder next to `find`.
#include "gantry/db/FileDatabase.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <zlib.h>

namespace {

using namespace quillory;

std::string Tree() {
    const char* tree = std::getenv("QUILLORY_SCAN_TREE");
    return tree ? tree : "";
}

double PeakMegabytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

bool SkipWithoutTree(benchmark::State& state) {
    if (!Tree().empty())
        return false;
    state.SkipWithError("set QUILLORY_SCAN_TREE (bench/run_scan_bench.sh does)");
    return true;
}

// What any scanner has to do at least: read every byte once and fold the CRC over it.
void BM_PlainCrcLoop(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    constexpr size_t kBlock = 512 * 1024;
    const std::unique_ptr<unsigned char[]> block(new unsigned char[kBlock]);
    uint64_t bytes = 0;
    for (auto _ : state) {
        uLong folded = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Tree())) {
            if (!entry.is_regular_file())
                continue;
            std::FILE* file = std::fopen(entry.path().c_str(), "rb");
            if (!file)
                continue;
            uLong crc = ::crc32(0L, Z_NULL, 0);
            size_t n;
            while ((n = std::fread(block.get(), 1, kBlock, file)) > 0) {
                crc = ::crc32(crc, block.get(), static_cast<uInt>(n));
                bytes += n;
            }
            std::fclose(file);
            folded ^= crc;
        }
        benchmark::DoNotOptimize(folded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_FirstScan(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    size_t nodes = 0;
    for (auto _ : state) {
        CFileDatabase db;
        db.gamePath = Tree();
        db.Scan();
        state.PauseTiming();
        std::vector<CFileNode*> all;
        db.root->CollectPointers(all);
        nodes = all.size();
        state.ResumeTiming();
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["peak_MB"] = PeakMegabytes();
}

void BM_Rescan(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    CFileDatabase db;
    db.gamePath = Tree();
    db.Scan();
    size_t reads = 0;
    db.contentReadHook = [&](const String&) { ++reads; };
    for (auto _ : state)
        db.Scan();
    state.counters["files_read"] = static_cast<double>(reads);
    state.counters["peak_MB"] = PeakMegabytes();
}

// The listing alone, as a standard tool does it: every size and modification time.
void BM_Find(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    const std::string command = "find '" + Tree() + "' -printf '%s %T@\\n' >/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("find failed");
}

} // namespace

// Warm the page cache first so that both reading benchmarks see the same cache.
BENCHMARK(BM_PlainCrcLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_FirstScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PlainCrcLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Rescan)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
