#pragma once
// What the watch window needs of the query engine: select a server, copy what is known about
// it, take a received description, and stop. The window's tick reads only through this, so
// tests can drive the tick with a scripted source.

#include "common/Types.h"
#include "net/WatchState.h"
#include "watch/core/ServerEntry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quillory::ui {

class IServerWatch {
public:
    virtual ~IServerWatch() = default;
    // Stops the old watch, forgets what was known, resolves the entry's address and starts
    // polling it; looks for its Gantry server too when `gantry`. False for "Bad address error".
    virtual bool Select(const ServerEntry& entry, bool gantry) = 0;
    // Stops polling: nothing is selected any more.
    virtual void Stop() = 0;
    // A copy of the status record and the news, taken under the status lock.
    virtual WatchSnapshot Snapshot() = 0;
    // The description received from the Gantry server, moved out under the status lock.
    virtual std::optional<std::vector<uint8_t>> TakeDescription() = 0;
    // The Link button was pressed: the upgrade offer stops blinking.
    virtual void ClearUpgradeOffered() = 0;
    // Posts quit to the engine and waits for its thread.
    virtual void Quit() = 0;
};

} // namespace quillory::ui
