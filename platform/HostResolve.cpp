#include "platform/HostResolve.h"

#include <cctype>
#include <string_view>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quillory {

bool IsHostNameSyntax(const std::string& host) {
    constexpr size_t MAX_NAME = 253, MAX_LABEL = 63;
    std::string_view name(host);
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    if (name.empty() || name.size() > MAX_NAME)
        return false;
    size_t label = 0;
    for (char c : name) {
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
            continue;
        }
        const bool allowed = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
        if (!allowed || ++label > MAX_LABEL)
            return false;
    }
    return label > 0;
}

uint32_t ResolveHost(const std::string& host) {
    if (host.empty())
        return ADDRESS_NONE;
    in_addr dotted{};
    if (::inet_aton(host.c_str(), &dotted) != 0)
        return dotted.s_addr;
    if (!IsHostNameSyntax(host))
        return ADDRESS_NONE;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return ADDRESS_NONE;
    uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

} // namespace quillory
