#pragma once
// How many players each saved server had over the last day, for the players-over-time plot:
// "when does this server fill up?". Kept in memory and in "quillory.json".

#include "common/Types.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace quillory {

struct HistorySample {
    int64_t unixSeconds = 0;
    int players = 0;
    int maxPlayers = 0;
    bool roundChanged = false; // a new round (mission or game) began since the sample before
};

class CPlayerHistory final {
public:
    // Samples older than this, counted back from the newest one, are dropped.
    static constexpr int64_t KEEP_SECONDS = 24 * 3600;
    // Samples closer together than this are merged into one, so a fast refresh does not grow
    // the history: a day is at most MAX_SAMPLES samples a server.
    static constexpr int64_t SAMPLE_SPACING_SECONDS = 20;
    static constexpr size_t MAX_SAMPLES = KEEP_SECONDS / SAMPLE_SPACING_SECONDS + 1;
    // Servers kept at most; beyond it the one heard from longest ago goes. With MAX_SAMPLES
    // this holds the history under 5 MB however many servers come and go.
    static constexpr size_t MAX_SERVERS = 64;

    // Records what `address` showed at `sample.unixSeconds`. A sample within
    // SAMPLE_SPACING_SECONDS of the last one updates that one (keeping its round mark); one
    // older than the last means the clock was put back, and the samples after it go.
    void Add(const String& address, HistorySample sample);
    // The samples of `address`, oldest first; none for a server never added.
    std::vector<HistorySample> Samples(const String& address) const;
    // Every server with samples, in address order.
    std::vector<String> Addresses() const;
    // Drops every sample older than KEEP_SECONDS before `nowUnix`, and servers left empty.
    void Trim(int64_t nowUnix);
    void Forget(const String& address);
    void Clear() { servers_.clear(); }
    size_t ServerCount() const { return servers_.size(); }

private:
    // A sample as kept: 16 bytes where HistorySample takes 24, the counts being never negative.
    struct Stored {
        int64_t unixSeconds = 0;
        int32_t players = 0;
        uint32_t maxPlayers : 31 = 0;
        uint32_t roundChanged : 1 = 0;
    };
    static_assert(sizeof(Stored) == 16);
    using Track = std::deque<Stored>;
    static void DropBefore(Track& track, int64_t cutoff);
    void MakeRoomFor(const String& address);

    std::map<String, Track> servers_;
};

} // namespace quillory
