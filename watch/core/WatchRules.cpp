#include "watch/core/WatchRules.h"

#include <cstdio>

namespace quillory {

String StatusText(int32_t state) {
    switch (state) {
    case GS_IDLE:
        return "Idle";
    case GS_CREATING:
        return "Creating";
    case GS_WAITING:
        return "Waiting";
    case GS_DEBRIEFING:
        return "Debriefing";
    case GS_SETTING_UP:
        return "Setting up";
    case GS_BRIEFING:
        return "Briefing";
    case GS_PLAYING:
        return "Playing";
    default:
        return "status==" + std::to_string(state);
    }
}

bool IsGameInProgress(int32_t state) {
    return state >= GS_SETTING_UP && state <= GS_PLAYING;
}

bool IsGameOver(int32_t state) {
    return state != GS_IDLE && !IsGameInProgress(state);
}

namespace {

// The sound of a named state other than idle, 0 for the rest.
int SoundOf(int32_t state) {
    switch (state) {
    case GS_CREATING:
        return SND_CREATING;
    case GS_WAITING:
        return SND_WAITING;
    case GS_DEBRIEFING:
        return SND_DEBRIEFING;
    case GS_SETTING_UP:
        return SND_SETTING_UP;
    case GS_BRIEFING:
        return SND_SETTING_UP;
    case GS_PLAYING:
        return SND_PLAYING;
    default:
        return 0;
    }
}

} // namespace

Notification DecideNotification(int32_t state, int32_t previousState, bool notifyOn) {
    Notification result;
    result.previousState = previousState;
    int sound = SoundOf(state);
    // Idle and unnamed states neither notify nor move the history.
    if (sound == 0 || state == previousState)
        return result;
    result.previousState = state;
    // Briefing straight after setting up is the same game going on: one sound is enough.
    if (state == GS_BRIEFING && previousState == GS_SETTING_UP)
        return result;
    if (notifyOn) {
        result.notify = true;
        result.sound = sound;
    }
    return result;
}

String TypeText(const String& gameType) {
    if (gameType == "ironval")
        return "Ironvale";
    if (gameType == "ironvalu")
        return "Ironvale Uprising";
    return gameType;
}

String LoggedOnText(int32_t players, const String& maxPlayers) {
    String text = std::to_string(players);
    if (!maxPlayers.empty())
        text += "/" + maxPlayers;
    return text;
}

String TimeLeftText(const String& timeLeft, String& lastTimeLeft) {
    if (timeLeft.empty())
        return String();
    if (timeLeft != "15") {
        lastTimeLeft = timeLeft;
        return timeLeft;
    }
    return lastTimeLeft == "16" ? String("15") : String("Unknown");
}

String ParamText(const String& param1, const String& param2) {
    return param1.empty() ? String() : param1 + ", " + param2;
}

String PlatformText(const String& platform) {
    if (platform == "win")
        return "Windows";
    if (platform == "linux")
        return "Linux";
    return platform;
}

String LockedText(bool locked) {
    return locked ? "YES" : "No";
}

String ImplementationText(int32_t implementation) {
    if (implementation == IMPL_DIRECTPLAY)
        return "DirectPlay";
    if (implementation == IMPL_SOCKETS)
        return "Sockets";
    return String();
}

String GantryStateText(const ServerStatus& status, bool gantryFeatureReady) {
    switch (status.gantryState) {
    case GANTRY_UNKNOWN:
        return gantryFeatureReady ? "Querying" : "n/a";
    case GANTRY_ANSWERED:
        if (status.gantryChunksReceived >= status.gantryChunkTotal)
            return "Yes";
        return std::to_string(status.gantryChunksReceived * 100 / status.gantryChunkTotal) + "%";
    case GANTRY_NONE:
        return "No";
    case GANTRY_TIMEOUT:
        return "Timeout";
    case GANTRY_PASSWORD_REFUSED:
        return "Psw fail";
    default:
        return String();
    }
}

bool IsGantryOutcome(const String& text) {
    return !text.empty() && text != "Querying" && text.back() != '%';
}

} // namespace quillory
