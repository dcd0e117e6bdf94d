#include "watch/core/WatchView.h"

#include <algorithm>
#include <utility>

namespace quillory {

WatchFrame CWatchView::Update(ServerStatus status, bool notifyOn, bool gantryReady) {
    status_ = std::move(status);
    WatchFrame frame;
    if (status_.implementation != IMPL_NONE) {
        frame.answered = true;
        FillFields(frame);
        FillNotification(frame, notifyOn);
        frame.playersChanged = MergePlayers();
    }
    frame.gantry = GantryStateText(status_, gantryReady);
    frame.descriptionComplete = status_.gantryState == GANTRY_ANSWERED &&
                                status_.gantryChunksReceived >= status_.gantryChunkTotal;
    frame.gameEndAllowed = status_.state >= GS_SETTING_UP;
    frame.gameOver = IsGameOver(status_.state);
    return frame;
}

void CWatchView::Reset() {
    status_ = ServerStatus();
    shownDescription_.clear();
    shownMission_.clear();
    lastTimeLeft_.clear();
    previousState_ = -1;
    players_.clear();
}

void CWatchView::FillFields(WatchFrame& frame) {
    const ServerStatus& s = status_;
    // The edit boxes are rewritten only on a change, so a reader's selection survives.
    frame.descriptionChanged = s.description != shownDescription_;
    shownDescription_ = s.description;
    frame.description = s.description;
    frame.missionChanged = s.mission != shownMission_;
    shownMission_ = s.mission;
    frame.mission = s.mission;
    if (!s.gameType.empty())
        frame.type = TypeText(s.gameType);
    frame.loggedOn = LoggedOnText(s.players, s.maxPlayers);
    if (!s.timeLeft.empty())
        frame.timeLeft = TimeLeftText(s.timeLeft, lastTimeLeft_);
    frame.map = s.map;
    if (!s.param1.empty())
        frame.param = ParamText(s.param1, s.param2);
    if (!s.platform.empty())
        frame.platform = PlatformText(s.platform);
    frame.version = std::to_string(s.version);
    frame.required = std::to_string(s.requiredVersion);
    frame.ping = std::to_string(s.ping);
    frame.port = std::to_string(s.port);
    frame.locked = LockedText(s.locked);
    // Anything answered that is not DirectPlay came over sockets.
    frame.implementation = s.implementation == IMPL_DIRECTPLAY ? "DirectPlay" : "Sockets";
}

void CWatchView::FillNotification(WatchFrame& frame, bool notifyOn) {
    frame.status = StatusText(status_.state);
    frame.notification = DecideNotification(status_.state, previousState_, notifyOn);
    previousState_ = frame.notification.previousState;
}

bool CWatchView::MergePlayers() {
    std::vector<PlayerRow> rows = players_;
    std::vector<bool> listed(rows.size(), false);
    for (const Handle<PlayerInfo>& player : status_.playerList) {
        if (!player)
            continue;
        auto row = std::find_if(rows.begin(), rows.end(),
                                [&](const PlayerRow& r) { return r.name == player->name; });
        if (row == rows.end()) {
            rows.push_back({player->name, String(), String()});
            listed.push_back(false);
            row = rows.end() - 1;
        }
        row->score = player->score;
        row->deaths = player->deaths;
        listed[size_t(row - rows.begin())] = true;
    }
    // Those no longer listed leave; the others keep their order.
    std::vector<PlayerRow> kept;
    for (size_t i = 0; i < rows.size(); ++i)
        if (listed[i])
            kept.push_back(std::move(rows[i]));
    if (kept == players_)
        return false;
    players_ = std::move(kept);
    return true;
}

} // namespace quillory
