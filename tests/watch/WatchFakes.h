#pragma once
// Stand-ins the watch window is lent in tests: a scripted engine, a notifier that records its
// decisions and a launcher that counts its calls.

#include "watch/Launcher.h"
#include "watch/Notifier.h"
#include "watch/ServerWatchSource.h"

#include <vector>

namespace quillory::test {

class CScriptedWatch final : public ui::IServerWatch {
public:
    bool Select(const ServerEntry& entry, bool gantry) override {
        selected.push_back(entry);
        gantryAsked = gantry;
        status = ServerStatus();
        return selectResult;
    }
    WatchSnapshot Snapshot() override {
        WatchSnapshot snapshot;
        snapshot.status = status;
        snapshot.news = news;
        snapshot.upgradeProgress = upgradeProgress;
        return snapshot;
    }
    void ClearUpgradeOffered() override { news.upgradeOffered = false; }
    std::optional<std::vector<uint8_t>> TakeDescription() override {
        std::optional<std::vector<uint8_t>> taken = std::move(description);
        description.reset();
        return taken;
    }
    void Stop() override { ++stops; }
    void Quit() override { ++quits; }

    ServerStatus status;
    BrowserNews news;
    String upgradeProgress;
    std::optional<std::vector<uint8_t>> description;
    bool selectResult = true;
    bool gantryAsked = false;
    std::vector<ServerEntry> selected;
    int stops = 0;
    int quits = 0;
};

class CRecordingNotifier final : public ui::INotifier {
public:
    void Play(int sound) override { sounds.push_back(sound); }
    void Flash() override { ++flashes; }

    std::vector<int> sounds;
    int flashes = 0;
};

class CCountingLauncher final : public ui::ILauncher {
public:
    String CheckGameFolder(const String& stored) override { return stored; }
    ui::LaunchOutcome PlayNow(const LaunchRequest&, QWidget*) override {
        ++playNows;
        return {};
    }

    int playNows = 0;
};

} // namespace quillory::test
