#include "watch/EngineWatch.h"

namespace quillory::ui {

CEngineWatch::CEngineWatch(DefaultGamePorts defaults) : watch_(TickCount, defaults) {}

bool CEngineWatch::Start(const String& cacheFolder) {
    watch_.SetCacheFolder(cacheFolder);
    return watch_.Open();
}

bool CEngineWatch::Select(const ServerEntry& entry, bool gantry) {
    // Set before selecting, so the hello goes out with the first poll.
    watch_.SetGantryFeature(gantry);
    return watch_.Select(entry.address, entry.password) == SelectResult::WATCHING;
}

WatchSnapshot CEngineWatch::Snapshot() {
    return watch_.State().Snapshot();
}

std::optional<std::vector<uint8_t>> CEngineWatch::TakeDescription() {
    return watch_.State().TakeDescription();
}

} // namespace quillory::ui
