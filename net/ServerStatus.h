#pragma once
// What the query engine has learnt about the watched server. Guarded by the status lock.

#include "common/Types.h"
#include "net/PlayerInfo.h"

#include <cstdint>

namespace quillory {

// Game state codes.
constexpr int32_t GS_IDLE = 0;
constexpr int32_t GS_CREATING = 2;
constexpr int32_t GS_WAITING = 6;
constexpr int32_t GS_DEBRIEFING = 9;
constexpr int32_t GS_SETTING_UP = 12;
constexpr int32_t GS_BRIEFING = 13;
constexpr int32_t GS_PLAYING = 14;

// Network implementations.
constexpr int32_t IMPL_NONE = 0;
constexpr int32_t IMPL_DIRECTPLAY = 1;
constexpr int32_t IMPL_SOCKETS = 2;

// Gantry states.
constexpr int32_t GANTRY_UNKNOWN = 0;
constexpr int32_t GANTRY_ANSWERED = 1;
constexpr int32_t GANTRY_NONE = 2;
constexpr int32_t GANTRY_TIMEOUT = 3;
constexpr int32_t GANTRY_PASSWORD_REFUSED = 4;

constexpr int32_t GANTRY_DEFAULT_CHUNK_TOTAL = 10;

struct ServerStatus {
    String description;
    String mission;
    int32_t players = 0;
    int32_t version = 0;
    int32_t requiredVersion = 0;
    int32_t state = 0;
    int32_t port = 0;
    int32_t ping = 0;
    bool locked = false;
    int32_t implementation = IMPL_NONE;
    String gameType;
    String map;
    String maxPlayers;
    String timeLeft;
    String param1;
    String param2;
    String platform;
    HandleArray<PlayerInfo> playerList;
    int32_t gantryChunkTotal = GANTRY_DEFAULT_CHUNK_TOTAL;
    int32_t gantryChunksReceived = 0;
    int32_t gantryState = GANTRY_UNKNOWN;
};

} // namespace quillory
