#pragma once
// How the watch window turns the status record into texts and decides its notifications.
// Plain functions, shared by the desktop window and the command line.

#include "common/Types.h"
#include "net/ServerStatus.h"

#include <cstdint>

namespace quillory {

// Sounds of the notifications.
constexpr int SND_CREATING = 135;
constexpr int SND_WAITING = 137;
constexpr int SND_SETTING_UP = 138;
constexpr int SND_PLAYING = 139;
constexpr int SND_DEBRIEFING = 140;
constexpr int SND_ALARM = 161;

// "Idle", "Creating", ... or "status==N".
String StatusText(int32_t state);

// Setting up, briefing or playing.
bool IsGameInProgress(int32_t state);
// Neither idle nor in progress: the moment "when this game ends" waits for.
bool IsGameOver(int32_t state);

struct Notification {
    bool notify = false;       // play `sound` and flash the window
    int sound = 0;             // 0 when nothing is played
    int32_t previousState = 0; // the previous state from now on
};

// The decision taken for `state` against `previousState`; nothing plays unless `notifyOn`,
// but the previous state moves all the same.
Notification DecideNotification(int32_t state, int32_t previousState, bool notifyOn);

// Texts of the window's fields.
String TypeText(const String& gameType);
String LoggedOnText(int32_t players, const String& maxPlayers);
// Updates `lastTimeLeft` as the window does; "15" not counted down from "16" is "Unknown".
String TimeLeftText(const String& timeLeft, String& lastTimeLeft);
String ParamText(const String& param1, const String& param2);
String PlatformText(const String& platform);
String LockedText(bool locked);
// "DirectPlay" for 1, "Sockets" for 2, empty before any enumeration reply.
String ImplementationText(int32_t implementation);
// The Gantry field; empty when the state has no text (the field is then not written).
String GantryStateText(const ServerStatus& status, bool gantryFeatureReady);
// Whether a text of GantryStateText is an outcome rather than a question still under way
// ("Querying", or the share of the description received).
bool IsGantryOutcome(const String& text);

} // namespace quillory
