#pragma once
// The bytes an Ironvale server sends: the Sockets and DirectPlay enumeration replies and the
// text status reply split over numbered datagrams.

#include "tools/sim/RoundModel.h"
#include "tools/sim/SimOptions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillory::sim {

using Bytes = std::vector<uint8_t>;

bool IsSocketsProbe(const uint8_t* data, size_t size);
bool IsDirectPlayProbe(const uint8_t* data, size_t size);
bool IsStatusQuery(const uint8_t* data, size_t size);

Bytes BuildSocketsReply(const SimOptions& options, const CRoundModel& round);
Bytes BuildDirectPlayReply(const SimOptions& options, const CRoundModel& round);

// The key/value pairs of a whole status reply, each as "\key\value", ending with "\final\".
std::vector<std::string> StatusPairs(const SimOptions& options, const CRoundModel& round);

// Cuts the pairs into `fragments` datagrams of nearly equal pair counts (at most one per pair,
// more when one would not fit), each ending with "\queryid\ID.N"; returned in the order of N.
std::vector<std::string> SplitStatusReply(const std::vector<std::string>& pairs, uint32_t queryId,
                                          int fragments);

// UTF-16LE code units of a text taken as UTF-8; bytes that are not UTF-8 count as Latin-1.
std::u16string Utf16FromText(const std::string& text);

} // namespace quillory::sim
