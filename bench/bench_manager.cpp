// The Gantry manager's "Advanced" view over a database of 100,000 files, offscreen: filling the
// view (rows with their texts and sort keys, then the model) and sorting it by each sortable
// column, plus the resident memory that the open manager adds.
#include "gantry/db/FileDatabase.h"
#include "gantry/ui/GantryManagerDlg.h"
#include "gantry/ui/GantryQuestions.h"

#include <QApplication>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

using namespace quillory;
using namespace quillory::ui;

constexpr int TOP_FOLDERS = 100;
constexpr int SUB_FOLDERS = 10;
constexpr int FILES_PER_SUB = 100; // 100,000 files
constexpr int PACKAGES = 200;

// Every file listed by exactly one package, so the view has one row per file.
std::unique_ptr<CFileDatabase> MakeDatabase() {
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
    for (int t = 0; t < TOP_FOLDERS; ++t) {
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
    std::unique_ptr<CFileDatabase> db = MakeDatabase();
    CGantryQuestions questions;
    CGantryManagerDlg dialog{*db, std::nullopt, questions};
    Manager() {
        dialog.SetStartTab(CGantryViewModel::VIEW_FILES);
        dialog.show();
        QApplication::processEvents();
    }
};

void BM_FillAdvancedView(benchmark::State& state) {
    Manager manager;
    for (auto _ : state) {
        manager.dialog.FillFileView(nullptr);
        QApplication::processEvents();
    }
    state.counters["rows"] = double(manager.dialog.Model()->rowCount());
}
BENCHMARK(BM_FillAdvancedView)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SortAdvancedView(benchmark::State& state) {
    Manager manager;
    const int column = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        manager.dialog.FillFileView(nullptr);
        manager.dialog.List()->selectAll();
        state.ResumeTiming();
        manager.dialog.Model()->SortBy(column);
        QApplication::processEvents();
    }
}
// File, Status, Path, Size, CRC32.
BENCHMARK(BM_SortAdvancedView)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(5);

// The memory the open manager adds to the database it shows.
void BM_ManagerMemory(benchmark::State& state) {
    long databaseKb = 0, managerKb = 0;
    for (auto _ : state) {
        const long start = ResidentKilobytes();
        auto db = MakeDatabase();
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
