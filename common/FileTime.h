#pragma once
// Windows file times: 100-ns units since 1 January 1601, UTC. Compared for equality only.

#include <cstdint>

namespace quillory {

using FileTime = uint64_t;

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeUnixOffsetSeconds = 11644473600LL;

FileTime FileTimeFromUnix(int64_t seconds, int64_t nanoseconds = 0);
// Whole seconds since 1970 and the remaining nanoseconds.
void UnixFromFileTime(FileTime time, int64_t& seconds, int64_t& nanoseconds);

// A calendar date and time taken as they are, with no time-zone conversion.
FileTime FileTimeFromCivil(int year, int month, int day, int hour, int minute, int second);

constexpr uint32_t FileTimeLow(FileTime t) {
    return static_cast<uint32_t>(t);
}
constexpr uint32_t FileTimeHigh(FileTime t) {
    return static_cast<uint32_t>(t >> 32);
}
constexpr FileTime MakeFileTime(uint32_t low, uint32_t high) {
    return (static_cast<FileTime>(high) << 32) | low;
}

} // namespace quillory
