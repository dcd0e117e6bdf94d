#include "net/ServerAddress.h"

#include "platform/HostResolve.h"

namespace quillory {

namespace {

String Trim(const String& text) {
    const char* blanks = " \t\r\n\v\f";
    size_t first = text.find_first_not_of(blanks);
    if (first == String::npos)
        return String();
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// The leading digits; saturates past the port range so that it is seen as too large.
uint32_t LeadingDecimal(const String& text) {
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value > 100000 ? value : value * 10 + uint32_t(c - '0');
    }
    return value;
}

} // namespace

ServerAddress SplitServerAddress(const String& text) {
    size_t colon = text.find(':');
    if (colon == String::npos)
        return ServerAddress{Trim(text), String(1, '0'), 0};
    String portText = Trim(text.substr(colon + 1));
    uint32_t port = LeadingDecimal(portText);
    return ServerAddress{Trim(text.substr(0, colon)), std::move(portText), port};
}

std::optional<ResolvedServer> ResolveServerAddress(const String& text) {
    ServerAddress split = SplitServerAddress(text);
    if (split.port > 0xFFFF)
        return std::nullopt;
    uint32_t address = ResolveHost(split.host);
    if (address == ADDRESS_NONE)
        return std::nullopt;
    return ResolvedServer{address, static_cast<uint16_t>(split.port)};
}

} // namespace quillory
