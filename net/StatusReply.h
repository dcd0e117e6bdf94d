#pragma once
// The text status reply: backslash-separated key/value pairs, each datagram ending with its
// own "queryid" pair.

#include "common/Types.h"
#include "net/ServerStatus.h"

#include <cstdint>
#include <optional>

namespace quillory {

struct QueryIdPair {
    String id;
    uint32_t number = 0;
    size_t pairStart = 0; // index of the backslash that opens the pair, or npos when the text
                          // does not hold it as a pair of its own
};

// The query id and datagram number a datagram ends with; nothing when it ends otherwise, or
// when the number is not a decimal from 0 to `maxNumber`.
std::optional<QueryIdPair> FindQueryId(const String& datagram, uint32_t maxNumber);

// The datagram without its trailing queryid pair, so that pairs which a server split over
// datagrams join up as if they had come in one.
String WithoutQueryId(const String& datagram);

// Reads the joined reply into `status`: only keys present overwrite their fields; players are
// appended. Tokens longer than `maxToken` are cut.
void ParseStatusText(const String& joined, ServerStatus& status, size_t maxToken);

// The leading decimal of a text as the C library reads it, saturated to the int32 range.
int32_t LeadingInt(const String& text);

} // namespace quillory
