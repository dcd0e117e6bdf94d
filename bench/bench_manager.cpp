// The Gantry manager's "Advanced" view over databases of 100,000, 400,000 and 1,000,000 files,
// offscreen: filling the view (rows with their texts and sort keys, then the model) and sorting
// it by each sortable column, plus the resident memory that the open manager adds.
// bench/manager_rows.sh prints the table's rows from it.
#include "gantry/db/FileDatabase.h"
#include "gantry/ui/GantryManagerDlg.h"
#include "gantry/ui/GantryQuestions.h"

#include <QApplication>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillory;
using namespace quillory::ui;

constexpr int SUB_FOLDERS = 10;
constexpr int FILES_PER_SUB = 100; // 1,000 files per top folder
constexpr int PACKAGES = 200;
constexpr int SIZES[] = {100000, 400000, 1000000};

// `files` files, every one listed by exactly one package, so the view has one row per file.
std::unique_ptr<CFileDatabase> MakeDatabase(int files) {
    auto db = std::make_unique<CFileDatabase>();
    db->SetGamePath("C:\\Games\\Ironvale\\");
    db->SetRoot(std::make_shared<CFileNode>());
    db->Root()->name = db->GamePath();
    db->Root()->flags = NF_FOLDER;
    db->Root()->bindCount = ROOT_BIND_COUNT;
    for (int p = 0; p < PACKAGES; ++p) {
        auto package = std::make_shared<CPackage>();
        package->name = "Package " + std::to_string(p);
        db->AddPackage(package);
    }
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    size_t count = 0;
    for (int t = 0; t < files / (SUB_FOLDERS * FILES_PER_SUB); ++t) {
        auto top = db->Root()->AddChild("@Mod" + std::to_string(t) + "\\", NF_FOLDER);
        for (int s = 0; s < SUB_FOLDERS; ++s) {
            auto sub = top->AddChild("AddOns" + std::to_string(s) + "\\", NF_FOLDER);
            for (int f = 0; f < FILES_PER_SUB; ++f, ++count) {
                auto file = sub->AddChild("Texture_" + std::to_string(next() % 100000) + ".paa", 0);
                file->diskName = file->name;
                file->size = next() % 5000000;
                file->crc = next();
                file->status = (next() % 4 == 0) ? NS_INACTIVE : NS_ACTIVE;
                db->Packages()[CFileDatabase::PSEUDO_PACKAGE_COUNT + count % PACKAGES]->AddMember(
                    file);
            }
        }
    }
    return db;
}

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

struct Manager {
    explicit Manager(int files) : files(files) {
        dialog.SetStartTab(CGantryViewModel::VIEW_FILES);
        dialog.show();
        QApplication::processEvents();
    }
    int files;
    std::unique_ptr<CFileDatabase> db = MakeDatabase(files);
    CGantryQuestions questions;
    CGantryManagerDlg dialog{*db, std::nullopt, questions};
};

// One open manager at a time, kept for the benchmarks of its size: a million files take a while
// to make.
std::unique_ptr<Manager>& OpenManager() {
    static std::unique_ptr<Manager> open;
    return open;
}

Manager& ManagerOf(int files) {
    std::unique_ptr<Manager>& open = OpenManager();
    if (!open || open->files != files) {
        open.reset();
        open = std::make_unique<Manager>(files);
    }
    return *open;
}

void BM_FillAdvancedView(benchmark::State& state) {
    Manager& manager = ManagerOf(int(state.range(0)));
    for (auto _ : state) {
        manager.dialog.FillFileView(nullptr);
        QApplication::processEvents();
    }
    state.counters["rows"] = double(manager.dialog.Model()->rowCount());
}

void BM_SortAdvancedView(benchmark::State& state) {
    Manager& manager = ManagerOf(int(state.range(0)));
    const int column = int(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        manager.dialog.FillFileView(nullptr);
        manager.dialog.List()->selectAll();
        state.ResumeTiming();
        manager.dialog.Model()->SortBy(column);
        QApplication::processEvents();
    }
}

// The memory the open manager adds to the database it shows.
void BM_ManagerMemory(benchmark::State& state) {
    long databaseKb = 0, managerKb = 0;
    for (auto _ : state) {
        const long start = ResidentKilobytes();
        auto db = MakeDatabase(SIZES[0]);
        databaseKb = ResidentKilobytes() - start;
        CGantryQuestions questions;
        CGantryManagerDlg dialog(*db, std::nullopt, questions);
        dialog.SetStartTab(CGantryViewModel::VIEW_FILES);
        dialog.show();
        QApplication::processEvents();
        managerKb = ResidentKilobytes() - start - databaseKb;
    }
    state.counters["database_MB"] = double(databaseKb) / 1024.0;
    state.counters["manager_MB"] = double(managerKb) / 1024.0;
}
BENCHMARK(BM_ManagerMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Size by size, so that each database is made once.
    for (const int files : SIZES) {
        benchmark::RegisterBenchmark("BM_FillAdvancedView", BM_FillAdvancedView)
            ->Arg(files)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(3);
        // File, Status, Path, Size, CRC32.
        for (int column = 0; column <= 4; ++column)
            benchmark::RegisterBenchmark("BM_SortAdvancedView", BM_SortAdvancedView)
                ->Args({files, column})
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->Repetitions(3);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    OpenManager().reset(); // while the application still runs
    benchmark::Shutdown();
    return 0;
}
