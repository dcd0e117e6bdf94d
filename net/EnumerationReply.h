#pragma once
// The two enumeration replies a game server sends to the watch's probes, Sockets and
// DirectPlay: fields at fixed offsets of one datagram.

#include "net/ServerStatus.h"

#include <cstddef>
#include <cstdint>

namespace quillory {

// Reads a Sockets reply's description, versions, mission, state, lock and (when the reply
// holds it) player count into `status`. False, with `status` untouched, when the reply is too
// short to hold its fields.
bool ParseSocketsReply(const uint8_t* data, size_t length, ServerStatus& status);

// The same for a DirectPlay reply, whose description is UTF-16 and whose player count includes
// two members that are not players.
bool ParseDirectPlayReply(const uint8_t* data, size_t length, ServerStatus& status);

} // namespace quillory
