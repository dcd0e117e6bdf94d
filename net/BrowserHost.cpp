#include "net/BrowserHost.h"

#include <array>
#include <charconv>
#include <cstddef>

#ifndef QUILLORY_BROWSER_HOST
#define QUILLORY_BROWSER_HOST "browser.quillory.net"
#endif

namespace quillory {

namespace {

constexpr char FILLER = 2;

// Every character raised by 2, a filler after every third one, and a terminator. Evaluated by
// the compiler, so only the scrambled text reaches the binary.
template <size_t N> consteval std::array<char, N + N / 3 + 1> Scramble(const char (&plain)[N]) {
    std::array<char, N + N / 3 + 1> stored{};
    size_t at = 0;
    for (size_t i = 0; i + 1 < N; ++i) {
        stored[at++] = char(plain[i] + 2);
        if (i % 3 == 2)
            stored[at++] = FILLER;
    }
    stored[at] = '\0';
    return stored;
}

constexpr auto STORED_HOST = Scramble(QUILLORY_BROWSER_HOST);

} // namespace

String UnscrambleHostName(const char* stored) {
    String host;
    for (const char* c = stored; *c != '\0'; ++c)
        if (*c != FILLER)
            host += char(*c - 2);
    return host;
}

String BuiltInBrowserHost() {
    return UnscrambleHostName(STORED_HOST.data());
}

std::optional<BrowserEndpoint> ParseBrowserEndpoint(const String& text) {
    const size_t colon = text.find(':');
    BrowserEndpoint endpoint{text.substr(0, colon), BROWSER_SERVER_PORT};
    if (endpoint.host.empty())
        return std::nullopt;
    if (colon == String::npos)
        return endpoint;
    const String portText = text.substr(colon + 1);
    unsigned port = 0;
    const char* end = portText.data() + portText.size();
    const auto result = std::from_chars(portText.data(), end, port);
    if (portText.empty() || result.ec != std::errc() || result.ptr != end || port == 0 ||
        port > 0xFFFF)
        return std::nullopt;
    endpoint.port = uint16_t(port);
    return endpoint;
}

BrowserEndpoint ChooseBrowserEndpoint(const char* environmentValue) {
    if (environmentValue != nullptr)
        if (auto chosen = ParseBrowserEndpoint(environmentValue))
            return *chosen;
    return BrowserEndpoint{BuiltInBrowserHost(), BROWSER_SERVER_PORT};
}

} // namespace quillory
