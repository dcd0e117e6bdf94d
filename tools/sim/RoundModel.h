#pragma once
// The rounds of the simulated server: its game state, time left and players, moved on one
// second at a time from a seed, so that a run can be told again.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace quillory::sim {

// Game state codes the server reports.
enum : int32_t {
    GS_WAITING = 6,
    GS_DEBRIEFING = 9,
    GS_SETTING_UP = 12,
    GS_BRIEFING = 13,
    GS_PLAYING = 14,
};

struct SimPlayer {
    std::string name;
    int score = 0;
    int deaths = 0;
};

// A named player who joins or leaves at a given second, whatever the seed draws.
struct PlayerChange {
    std::string name;
    uint32_t atSecond = 0;
    bool joins = true;
};

struct RoundSettings {
    uint32_t seed = 1;
    uint32_t roundSeconds = 300; // the Playing phase
    uint32_t phaseSeconds = 5;   // each of the other phases
    int players = 4;             // at start; the count drifts around it
    int maxPlayers = 16;
};

// Players over time, beside those the seed draws.
struct PlayerSchedule {
    // Joins and leaves by name. A join when the server is full or the name is there already
    // is refused, as the game refuses it; players who joined so never leave by chance.
    std::vector<PlayerChange> changes;
    // Starts full and stays full, with no players coming or going by chance, until this
    // second, when one player leaves and the slot stays free (only `changes` fill it).
    std::optional<uint32_t> freeSlotAfter;
};

class CRoundModel final {
public:
    explicit CRoundModel(const RoundSettings& settings, PlayerSchedule schedule = {});

    // Moves the round on to `elapsedSeconds` after the start; going back does nothing.
    void AdvanceTo(uint64_t elapsedSeconds);

    int32_t State() const;
    // Whole minutes left, as the game reports them: the round's length before it starts,
    // rounded up while it is played, and "15" (the game's "unknown") between rounds.
    std::string TimeLeft() const;
    const std::vector<SimPlayer>& Players() const { return players_; }

private:
    void Step();
    void EnterNextPhase();
    void MovePlayers();
    void Score();
    void AddPlayer();
    // The joins, leaves and the freed slot due at the current second.
    void ApplyChanges();
    void Join(const std::string& name);
    void Leave(const std::string& name);
    void FreeSlot();
    bool Scheduled(const std::string& name) const;
    uint32_t PhaseLength() const;
    // True with a chance of `percent` in 100.
    bool Chance(uint32_t percent);

    RoundSettings settings_;
    PlayerSchedule schedule_;
    std::mt19937 rng_;
    std::vector<std::string> namePool_;
    uint64_t elapsed_ = 0;
    size_t phase_ = 0;
    uint32_t phaseLeft_ = 0;
    uint32_t playersMade_ = 0;
    std::vector<SimPlayer> players_;
};

} // namespace quillory::sim
