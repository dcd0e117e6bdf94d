#pragma once
// The watch display's memory between ticks: what was shown, the state last reacted to, the
// time left counted down from, the players listed. Each status copy the tick takes becomes the
// texts to show, what changed and what to notify. Shared by the window and the command line.

#include "common/Types.h"
#include "net/ServerStatus.h"
#include "watch/core/WatchRules.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quillory {

// One line of the players list.
struct PlayerRow {
    String name;
    String score;
    String deaths;

    bool operator==(const PlayerRow&) const = default;
};

// What one tick shows. Texts are in the server's code page; an absent optional text leaves its
// field as it was.
struct WatchFrame {
    // The server has answered an enumeration: the fields, the status and the players below
    // are filled; otherwise only the Gantry text, the game-end flags and `gameOver` are.
    bool answered = false;
    bool descriptionChanged = false;
    String description;
    bool missionChanged = false;
    String mission;
    std::optional<String> type;
    String loggedOn;
    std::optional<String> timeLeft;
    String map;
    std::optional<String> param;
    std::optional<String> platform;
    String version;
    String required;
    String ping;
    String port;
    String locked;
    String implementation;
    String status;
    Notification notification;
    bool playersChanged = false;
    // The Gantry field; empty leaves it as it was.
    String gantry;
    // Every chunk of the Gantry description is in.
    bool descriptionComplete = false;
    // A game is under way far enough for "launch when this game ends".
    bool gameEndAllowed = false;
    // Neither idle nor in progress: the moment the game-end boxes wait for.
    bool gameOver = false;
};

class CWatchView final {
public:
    CWatchView() = default;
    CWatchView(const CWatchView&) = delete;
    CWatchView& operator=(const CWatchView&) = delete;

    // Takes the next copy of the status record. Nothing plays unless `notifyOn`;
    // `gantryReady` chooses the Gantry text before any answer.
    WatchFrame Update(ServerStatus status, bool notifyOn, bool gantryReady);

    // A newly selected server: everything shown so far is forgotten.
    void Reset();

    // The last copy taken.
    const ServerStatus& Status() const { return status_; }
    // The description on display; empty until the server gave one.
    const String& ShownDescription() const { return shownDescription_; }
    // The players in display order: those listed keep their place, newcomers go last.
    const std::vector<PlayerRow>& Players() const { return players_; }

private:
    void FillFields(WatchFrame& frame);
    void FillNotification(WatchFrame& frame, bool notifyOn);
    bool MergePlayers();

    ServerStatus status_;
    String shownDescription_;
    String shownMission_;
    String lastTimeLeft_;
    int32_t previousState_ = -1;
    std::vector<PlayerRow> players_;
};

} // namespace quillory
