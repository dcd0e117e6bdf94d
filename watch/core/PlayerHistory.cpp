#include "watch/core/PlayerHistory.h"

#include <algorithm>

namespace quillory {

void CPlayerHistory::Add(const String& address, HistorySample sample) {
    sample.players = std::max(sample.players, 0);
    sample.maxPlayers = std::max(sample.maxPlayers, 0);
    MakeRoomFor(address);
    Track& track = servers_[address];
    while (!track.empty() && track.back().unixSeconds > sample.unixSeconds)
        track.pop_back();
    if (!track.empty() && sample.unixSeconds - track.back().unixSeconds < SAMPLE_SPACING_SECONDS) {
        Stored& last = track.back();
        last.players = sample.players;
        last.maxPlayers = uint32_t(sample.maxPlayers);
        last.roundChanged = last.roundChanged || sample.roundChanged;
    } else {
        track.push_back(
            {sample.unixSeconds, sample.players, uint32_t(sample.maxPlayers), sample.roundChanged});
    }
    DropBefore(track, sample.unixSeconds - KEEP_SECONDS);
    while (track.size() > MAX_SAMPLES)
        track.pop_front();
}

std::vector<HistorySample> CPlayerHistory::Samples(const String& address) const {
    const auto found = servers_.find(address);
    if (found == servers_.end())
        return {};
    std::vector<HistorySample> samples;
    samples.reserve(found->second.size());
    for (const Stored& s : found->second)
        samples.push_back({s.unixSeconds, s.players, int(s.maxPlayers), s.roundChanged != 0});
    return samples;
}

std::vector<String> CPlayerHistory::Addresses() const {
    std::vector<String> addresses;
    addresses.reserve(servers_.size());
    for (const auto& [address, track] : servers_)
        addresses.push_back(address);
    return addresses;
}

void CPlayerHistory::Trim(int64_t nowUnix) {
    for (auto it = servers_.begin(); it != servers_.end();) {
        DropBefore(it->second, nowUnix - KEEP_SECONDS);
        it = it->second.empty() ? servers_.erase(it) : std::next(it);
    }
}

void CPlayerHistory::Forget(const String& address) {
    servers_.erase(address);
}

void CPlayerHistory::DropBefore(Track& track, int64_t cutoff) {
    while (!track.empty() && track.front().unixSeconds < cutoff)
        track.pop_front();
}

// A new server past the limit pushes out the one whose newest sample is the oldest. Tracks are
// never empty: Add fills them and Trim erases the emptied ones.
void CPlayerHistory::MakeRoomFor(const String& address) {
    if (servers_.size() < MAX_SERVERS || servers_.count(address))
        return;
    const auto stalest =
        std::min_element(servers_.begin(), servers_.end(), [](const auto& a, const auto& b) {
            return a.second.back().unixSeconds < b.second.back().unixSeconds;
        });
    servers_.erase(stalest);
}

} // namespace quillory
