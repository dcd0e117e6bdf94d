#pragma once
// Where the browser server is: the host name built into the program, kept scrambled so that
// it is not a plain string of the binary, and the QUILLORY_BROWSER override.

#include "common/Types.h"

#include <cstdint>
#include <optional>

namespace quillory {

constexpr char BROWSER_ENVIRONMENT[] = "QUILLORY_BROWSER";
// Where the browser server listens unless an address names another port.
constexpr uint16_t BROWSER_SERVER_PORT = 48124;

struct BrowserEndpoint {
    String host;
    uint16_t port = 0;
};

// The stored text back to the host name: characters of code 2 are fillers and skipped, every
// other one is lowered by 2. Reads up to the terminator.
String UnscrambleHostName(const char* stored);

// The built-in browser host, unscrambled.
String BuiltInBrowserHost();

// "host" or "host:port" (port 1 to 65535, decimal); the port defaults to 48124. Nothing for an
// empty host or a bad port.
std::optional<BrowserEndpoint> ParseBrowserEndpoint(const String& text);

// QUILLORY_BROWSER when it is set and well formed (`environmentValue` is its value, or null
// when unset), else the built-in host on port 48124.
BrowserEndpoint ChooseBrowserEndpoint(const char* environmentValue);

} // namespace quillory
