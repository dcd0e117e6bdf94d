#pragma once
// A server address as the user types it: a host, then optionally a colon and a game port.

#include "common/Types.h"

#include <cstdint>
#include <optional>

namespace quillory {

struct ServerAddress {
    String host;       // before the first colon, white space trimmed
    String portText;   // after it, trimmed; "0" when there is no colon
    uint32_t port = 0; // the leading decimal of the port text; 0 means the default ports
};

ServerAddress SplitServerAddress(const String& text);

// The host resolved and the port checked: the address (network order) and game port, or
// nothing for "Bad address error" (an unknown host or a port beyond 65535).
struct ResolvedServer {
    uint32_t address = 0;
    uint16_t port = 0;
};
std::optional<ResolvedServer> ResolveServerAddress(const String& text);

} // namespace quillory
