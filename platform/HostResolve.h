#pragma once
// Turns a host text into an IPv4 address.

#include <cstdint>
#include <string>

namespace quillory {

// The all-ones address: what a failed lookup gives.
constexpr uint32_t ADDRESS_NONE = 0xFFFFFFFFu;

// Whether `host` can be a host name at all: labels of letters, digits, "-" and "_" between dots,
// none empty or longer than 63, 253 characters at most (one dot may end it).
bool IsHostNameSyntax(const std::string& host);

// A dotted IPv4 address as written, else the first IPv4 address of a blocking host-name
// lookup; ADDRESS_NONE when neither gives one. A text that cannot be a host name is refused
// before any lookup, so it never becomes a query on the network. The result is in network
// order.
uint32_t ResolveHost(const std::string& host);

} // namespace quillory
