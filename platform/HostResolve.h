#pragma once
// Turns a host text into an IPv4 address.

#include <cstdint>
#include <string>

namespace quillory {

// The all-ones address: what a failed lookup gives.
constexpr uint32_t ADDRESS_NONE = 0xFFFFFFFFu;

// A dotted IPv4 address as written, else the first IPv4 address of a blocking host-name
// lookup; ADDRESS_NONE when neither gives one. The result is in network order.
uint32_t ResolveHost(const std::string& host);

} // namespace quillory
