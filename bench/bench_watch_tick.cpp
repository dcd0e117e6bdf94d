// The watch window's 500 ms tick with 64 players whose scores change every tick: the copy of
// the status, the field texts, the notification decision and the players list kept in place.
// Runs offscreen.
#include "net/ServerStatus.h"
#include "watch/Launcher.h"
#include "watch/Notifier.h"
#include "watch/ServerWatchSource.h"
#include "watch/WatchDialog.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace quillory;
using namespace quillory::ui;

// The engine's side: a status of 64 players, as a copy taken under the lock would give it.
class CBenchWatch final : public IServerWatch {
public:
    bool Select(const ServerEntry&, bool) override { return true; }
    void Stop() override {}
    WatchSnapshot Snapshot() override {
        return WatchSnapshot{status, true, false, 1, 1, {}, 0, {}};
    }
    void ClearUpgradeOffered() override {}
    std::optional<std::vector<uint8_t>> TakeDescription() override { return std::nullopt; }
    void Quit() override {}
    ServerStatus status;
};

class CSilentNotifier final : public INotifier {
public:
    void Play(int) override {}
    void Flash() override {}
};

void BM_WatchTick64Players(benchmark::State& state) {
    QTemporaryDir folder;
    CBenchWatch watch;
    CSilentNotifier notifier;
    CWatchDialog::Parts parts;
    parts.watch = &watch;
    parts.notifier = &notifier;
    parts.dataFolder = folder.path().toStdString();
    CWatchDialog window(parts);
    window.Open({"quillory", "-connect=127.0.0.1", "-port=2302"});
    window.StopTimer();

    ServerStatus& status = watch.status;
    status.implementation = IMPL_SOCKETS;
    status.state = GS_PLAYING;
    status.description = "Dedicated server on Benchhold";
    status.mission = "The Long Siege";
    status.map = "Vale";
    status.gameType = "ironvalu";
    status.platform = "win";
    status.maxPlayers = "64";
    status.players = 64;
    status.timeLeft = "30";
    for (int i = 0; i < 64; ++i)
        status.playerList.push_back(
            std::make_shared<PlayerInfo>(PlayerInfo{"Player " + std::to_string(i), "0", "0"}));
    uint32_t round = 0;
    for (auto _ : state) {
        ++round;
        for (int i = 0; i < 64; ++i)
            status.playerList[size_t(i)]->score = std::to_string((round + uint32_t(i)) % 97);
        window.Tick();
    }
    window.reject();
}

BENCHMARK(BM_WatchTick64Players)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
