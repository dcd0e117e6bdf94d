// Save and Load of a database of 100,000 nodes and 200 packages, next to zlib's own
// compress/uncompress of the same payload: the part of the work that no format change can save.
// Every file is bound to a package, so Save prunes nothing and Load reads all 100,000 nodes.
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

constexpr int TOP_FOLDERS = 100;
constexpr int SUB_FOLDERS = 10;
constexpr int FILES_PER_SUB = 98; // 100 + 1,000 + 98,000 + 900 = 100,000 nodes
constexpr int EXTRA_FILES = 900;
constexpr int PACKAGES = 200;

std::string ScratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/quillory-bench-db-XXXXXX";
        const char* made = mkdtemp(pattern);
        // Without a folder of its own the benchmark works in the current directory.
        return std::string(made ? made : "");
    }();
    return folder;
}

void Fill(CFileDatabase& db) {
    db.SetGamePath("C:\\Games\\Ironvale\\");
    db.SetRoot(std::make_shared<CFileNode>());
    db.Root()->name = db.GamePath();
    db.Root()->flags = NF_FOLDER;
    db.Root()->bindCount = ROOT_BIND_COUNT;
    HandleArray<CFileNode> files;
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int t = 0; t < TOP_FOLDERS; ++t) {
        auto top = db.Root()->AddChild("@mod" + std::to_string(t) + "\\", NF_FOLDER);
        for (int s = 0; s < SUB_FOLDERS; ++s) {
            auto sub = top->AddChild("addons" + std::to_string(s) + "\\", NF_FOLDER);
            int count = FILES_PER_SUB + (t * SUB_FOLDERS + s < EXTRA_FILES ? 1 : 0);
            for (int f = 0; f < count; ++f) {
                auto file = sub->AddChild("texture_" + std::to_string(f) + ".paa", 0);
                file->diskName = file->name;
                file->size = next() % 5000000;
                file->crc = next();
                file->modified = 0x01D9000000000000ull + next();
                files.push_back(file);
            }
        }
    }
    // Half the files in real packages (file i in package i % 400 when that is below 200), the
    // other half unknown add-ons: nothing is left for Save to prune.
    for (size_t i = 0; i < files.size(); ++i)
        if (i % (PACKAGES * 2) >= size_t(PACKAGES))
            db.UnknownAddons()->AddMember(files[i]);
    for (int p = 0; p < PACKAGES; ++p) {
        auto package = std::make_shared<CPackage>();
        package->name = "Package " + std::to_string(p);
        package->homePage = "http://example.invalid/" + std::to_string(p);
        for (size_t i = size_t(p); i < files.size(); i += PACKAGES * 2)
            package->AddMember(files[i]);
        db.AddPackage(package);
    }
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
        Fill(db);
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
