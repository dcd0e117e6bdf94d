// Save and Load of the database of bench/DatabaseFill.h (100,000 nodes, 200 packages), next to
// zlib's own compress/uncompress of the same payload: the part of the work that no format change
// can save.
#include "bench/DatabaseFill.h"
#include "gantry/db/FileDatabase.h"
#include "platform/FileSystem.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

using namespace quillory;

std::string ScratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/quillory-bench-db-XXXXXX";
        const char* made = mkdtemp(pattern);
        // Without a folder of its own the benchmark works in the current directory.
        return std::string(made ? made : "");
    }();
    return folder;
}

CFileDatabase& Database();

std::string SavedPayload() {
    CFileDatabase& db = Database();
    std::ifstream in(platform::NativePath(db.DatabasePath()), std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= uint32_t(uint8_t(file[4 + i])) << (8 * i);
    std::string payload(length, '\0');
    uLongf got = length;
    uncompress(reinterpret_cast<Bytef*>(payload.data()), &got,
               reinterpret_cast<const Bytef*>(file.data() + 8), uLong(file.size() - 8));
    return payload;
}

CFileDatabase& Database() {
    static CFileDatabase db(ScratchFolder());
    static bool filled = false;
    if (!filled) {
        bench::FillDatabase(db);
        filled = db.Save().ok;
    }
    return db;
}

void BM_DatabaseSave(benchmark::State& state) {
    CFileDatabase& db = Database();
    for (auto _ : state)
        if (!db.Save())
            state.SkipWithError("save failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SavedPayload().size()));
}

// As the program loads at start: into a new database. Freeing the tree afterwards is not part of
// the load and is left out of the time.
void BM_DatabaseLoad(benchmark::State& state) {
    Database();
    size_t nodes = 0;
    for (auto _ : state) {
        auto db = std::make_unique<CFileDatabase>(ScratchFolder());
        if (!db->Load())
            state.SkipWithError("load failed");
        state.PauseTiming();
        std::vector<CFileNode*> all;
        if (db->Root())
            db->Root()->CollectPointers(all);
        nodes = all.size();
        db.reset();
        state.ResumeTiming();
    }
    state.counters["nodes"] = double(nodes);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SavedPayload().size()));
}

void BM_ZlibCompress(benchmark::State& state) {
    Database();
    std::string payload = SavedPayload();
    std::string packed(compressBound(uLong(payload.size())), '\0');
    for (auto _ : state) {
        uLongf length = uLongf(packed.size());
        compress(reinterpret_cast<Bytef*>(packed.data()), &length,
                 reinterpret_cast<const Bytef*>(payload.data()), uLong(payload.size()));
        benchmark::DoNotOptimize(length);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(payload.size()));
}

void BM_ZlibUncompress(benchmark::State& state) {
    Database();
    std::string payload = SavedPayload();
    uLongf packedLength = compressBound(uLong(payload.size()));
    std::string packed(packedLength, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &packedLength,
             reinterpret_cast<const Bytef*>(payload.data()), uLong(payload.size()));
    std::string plain(payload.size(), '\0');
    for (auto _ : state) {
        uLongf length = uLongf(plain.size());
        uncompress(reinterpret_cast<Bytef*>(plain.data()), &length,
                   reinterpret_cast<const Bytef*>(packed.data()), packedLength);
        benchmark::DoNotOptimize(length);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(payload.size()));
}

BENCHMARK(BM_DatabaseSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibCompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DatabaseLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The scratch folder holds two copies of the database; leave nothing behind in /tmp.
    std::error_code error;
    if (!ScratchFolder().empty())
        std::filesystem::remove_all(ScratchFolder(), error);
    return 0;
}
