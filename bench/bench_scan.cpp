// The installation scanner over a generated game folder (bench/run_scan_bench.sh makes it and
// passes it in QUILLORY_SCAN_TREE): the first scan next to a plain C walker that reads every file
// and folds zlib's crc32 over it (bench/crc_walker.c), verify of every file next to the first
// scan, and a rescan of the unchanged folder next to `find`.
#include "gantry/db/FileDatabase.h"
#include "gantry/db/PackageVerifier.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

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

// What any scanner has to do at least: list every folder, read every byte once and fold the
// CRC over it, in plain C.
void BM_CrcWalker(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    const std::string command = std::string(QUILLORY_CRC_WALKER) + " '" + Tree() + "' >/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("crc_walker failed");
}

void BM_FirstScan(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    size_t nodes = 0;
    for (auto _ : state) {
        CFileDatabase db;
        db.SetGamePath(Tree());
        db.Scan();
        state.PauseTiming();
        std::vector<CFileNode*> all;
        db.Root()->CollectPointers(all);
        nodes = all.size();
        state.ResumeTiming();
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["peak_MB"] = PeakMegabytes();
}

double SecondsOf(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Pairs run back to back, the walker first in one and the scan first in the next, so that both
// sides of every pair meet the same load on a shared machine. The time shown is the scan's;
// `walker_ms` is the walker's mean, `ratio` the scan's total over the walker's, and `worst` the
// largest ratio of one pair.
void BM_FirstScanBesideWalker(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    const std::string command = std::string(QUILLORY_CRC_WALKER) + " '" + Tree() + "' >/dev/null";
    double scans = 0, walkers = 0, worst = 0;
    bool walkerFirst = true;
    for (auto _ : state) {
        double walker = 0, scan = 0;
        auto runWalker = [&] {
            walker = SecondsOf([&] {
                if (std::system(command.c_str()) != 0)
                    state.SkipWithError("crc_walker failed");
            });
        };
        auto runScan = [&] {
            scan = SecondsOf([&] {
                CFileDatabase db;
                db.SetGamePath(Tree());
                db.Scan();
            });
        };
        if (walkerFirst) {
            runWalker();
            runScan();
        } else {
            runScan();
            runWalker();
        }
        walkerFirst = !walkerFirst;
        state.SetIterationTime(scan);
        scans += scan;
        walkers += walker;
        worst = std::max(worst, scan / walker);
    }
    state.counters["walker_ms"] = walkers * 1000.0 / static_cast<double>(state.iterations());
    state.counters["ratio"] = scans / walkers;
    state.counters["worst"] = worst;
}

void BM_Rescan(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    CFileDatabase db;
    db.SetGamePath(Tree());
    db.Scan();
    size_t reads = 0;
    db.SetContentReadHook([&](const String&) { ++reads; });
    for (auto _ : state)
        db.Scan();
    state.counters["files_read"] = static_cast<double>(reads);
    state.counters["peak_MB"] = PeakMegabytes();
}

// Verify of every file the first scan found, all bound to one package.
void BM_Verify(benchmark::State& state) {
    if (SkipWithoutTree(state))
        return;
    CFileDatabase db;
    db.SetGamePath(Tree());
    db.Scan();
    auto everything = std::make_shared<CPackage>();
    everything->name = "everything";
    HandleArray<CFileNode> files;
    db.Root()->CollectHandles(files);
    for (const auto& node : files)
        if (!node->IsFolder())
            everything->members.push_back(node);
    db.AddPackage(everything);
    VerifyReport report;
    for (auto _ : state)
        report = CPackageVerifier(db).Verify({everything});
    state.counters["files"] = static_cast<double>(report.files);
    state.counters["differ"] = static_cast<double>(report.findings.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * report.bytes));
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

// Warm the page cache first so that every reading benchmark sees the same cache; the walker runs
// between the others so that a change in the machine's load shows in its figures too.
BENCHMARK(BM_CrcWalker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_FirstScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CrcWalker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Verify)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FirstScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FirstScanBesideWalker)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);
BENCHMARK(BM_Rescan)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
