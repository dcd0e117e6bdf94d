#include "platform/HostResolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quillory {

uint32_t ResolveHost(const std::string& host) {
    if (host.empty())
        return ADDRESS_NONE;
    in_addr dotted{};
    if (::inet_aton(host.c_str(), &dotted) != 0)
        return dotted.s_addr;
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
