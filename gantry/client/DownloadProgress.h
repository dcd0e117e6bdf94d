#pragma once
// What a download display shows, read from the download engine in one go.

#include "common/Types.h"

#include <cstdint>

namespace quillory {

struct DownloadProgress {
    uint64_t totalSize = 0, totalDone = 0;
    uint64_t currentSize = 0, currentDone = 0;
    uint64_t installTotal = 0, installDone = 0;
    uint32_t rate = 0; // bytes per tenth of a second
    String downloadingName;
    String installingName;

    // Progress bars count in units of 1024 bytes, so counters beyond 4 GiB still fit.
    static uint32_t BarUnits(uint64_t bytes) { return static_cast<uint32_t>(bytes >> 10); }
};

// Per flagged package, what became of it in one run.
struct DownloadOutcome {
    String name;
    String url;
    bool arrived = false;   // the archive downloaded completely
    bool installed = false; // and installed without error
    String error;           // why not, when not
};

} // namespace quillory
