#include "tools/sim/RoundModel.h"

#include <algorithm>

namespace quillory::sim {

namespace {

constexpr int32_t kPhases[] = {GS_WAITING, GS_SETTING_UP, GS_BRIEFING, GS_PLAYING, GS_DEBRIEFING};
constexpr size_t kPhaseCount = sizeof(kPhases) / sizeof(kPhases[0]);

const char* const kNames[] = {"Ashgrove", "Brannoc", "Cinder", "Dunmore", "Edda",    "Fenwick",
                              "Galloway", "Hale",    "Isolde", "Jory",    "Kestrel", "Lark",
                              "Marrow",   "Nettle",  "Orrin",  "Pike",    "Quill",   "Rook",
                              "Sorrel",   "Tamsin",  "Umber",  "Vesper",  "Wren",    "Yarrow"};

// Chances per second: the player count drifts back towards its starting value.
constexpr uint32_t kJoinBelow = 10, kJoinAbove = 2;
constexpr uint32_t kLeaveAbove = 10, kLeaveBelow = 2;
constexpr uint32_t kScoreChance = 8, kDeathChance = 5;

uint32_t CeilMinutes(uint32_t seconds) {
    return (seconds + 59) / 60;
}

} // namespace

CRoundModel::CRoundModel(const RoundSettings& settings, PlayerSchedule schedule)
    : settings_(settings), schedule_(std::move(schedule)), rng_(settings.seed),
      namePool_(std::begin(kNames), std::end(kNames)) {
    std::shuffle(namePool_.begin(), namePool_.end(), rng_);
    phaseLeft_ = PhaseLength();
    const int start = schedule_.freeSlotAfter ? settings_.maxPlayers : settings_.players;
    for (int i = 0; i < start && i < settings_.maxPlayers; ++i)
        AddPlayer();
    ApplyChanges();
}

void CRoundModel::AdvanceTo(uint64_t elapsedSeconds) {
    while (elapsed_ < elapsedSeconds) {
        Step();
        ++elapsed_;
        ApplyChanges();
    }
}

int32_t CRoundModel::State() const {
    return kPhases[phase_];
}

std::string CRoundModel::TimeLeft() const {
    switch (State()) {
    case GS_SETTING_UP:
    case GS_BRIEFING:
        return std::to_string(CeilMinutes(settings_.roundSeconds));
    case GS_PLAYING:
        return std::to_string(CeilMinutes(phaseLeft_));
    default:
        return "15";
    }
}

void CRoundModel::Step() {
    if (--phaseLeft_ == 0)
        EnterNextPhase();
    MovePlayers();
    if (State() == GS_PLAYING)
        Score();
}

void CRoundModel::EnterNextPhase() {
    phase_ = (phase_ + 1) % kPhaseCount;
    phaseLeft_ = PhaseLength();
    if (State() == GS_SETTING_UP)
        for (SimPlayer& p : players_)
            p.score = p.deaths = 0;
}

void CRoundModel::MovePlayers() {
    if (schedule_.freeSlotAfter)
        return; // the count changes only as scheduled
    const int count = int(players_.size());
    const bool below = count < settings_.players;
    if (count < settings_.maxPlayers && Chance(below ? kJoinBelow : kJoinAbove))
        AddPlayer();
    else if (count > 0 && Chance(count > settings_.players ? kLeaveAbove : kLeaveBelow)) {
        const size_t leaving = rng_() % players_.size();
        if (!Scheduled(players_[leaving].name))
            players_.erase(players_.begin() + ptrdiff_t(leaving));
    }
}

void CRoundModel::Score() {
    for (SimPlayer& p : players_) {
        if (Chance(kScoreChance))
            ++p.score;
        if (Chance(kDeathChance))
            ++p.deaths;
    }
}

void CRoundModel::AddPlayer() {
    // Names are unique: a second lap of the pool gets a number.
    const uint32_t lap = playersMade_ / namePool_.size();
    std::string name = namePool_[playersMade_ % namePool_.size()];
    if (lap > 0)
        name += std::to_string(lap + 1);
    ++playersMade_;
    players_.push_back(SimPlayer{name, 0, 0});
}

void CRoundModel::ApplyChanges() {
    for (const PlayerChange& change : schedule_.changes) {
        if (change.atSecond != elapsed_)
            continue;
        if (change.joins)
            Join(change.name);
        else
            Leave(change.name);
    }
    if (schedule_.freeSlotAfter == elapsed_)
        FreeSlot();
}

void CRoundModel::Join(const std::string& name) {
    const bool present = std::any_of(players_.begin(), players_.end(),
                                     [&](const SimPlayer& p) { return p.name == name; });
    if (!present && int(players_.size()) < settings_.maxPlayers)
        players_.push_back(SimPlayer{name, 0, 0});
}

void CRoundModel::Leave(const std::string& name) {
    std::erase_if(players_, [&](const SimPlayer& p) { return p.name == name; });
}

// The last player drawn from the seed leaves; a scheduled one only when there is no other.
void CRoundModel::FreeSlot() {
    if (players_.empty() || int(players_.size()) < settings_.maxPlayers)
        return;
    auto leaving = std::find_if(players_.rbegin(), players_.rend(),
                                [&](const SimPlayer& p) { return !Scheduled(p.name); });
    players_.erase(leaving == players_.rend() ? players_.end() - 1 : std::next(leaving).base());
}

bool CRoundModel::Scheduled(const std::string& name) const {
    return std::any_of(schedule_.changes.begin(), schedule_.changes.end(),
                       [&](const PlayerChange& c) { return c.joins && c.name == name; });
}

uint32_t CRoundModel::PhaseLength() const {
    return State() == GS_PLAYING ? settings_.roundSeconds : settings_.phaseSeconds;
}

bool CRoundModel::Chance(uint32_t percent) {
    return rng_() % 100 < percent;
}

} // namespace quillory::sim
