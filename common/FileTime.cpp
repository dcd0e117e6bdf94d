#include "common/FileTime.h"

namespace quillory {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

} // namespace

FileTime FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
    int64_t ticks = (seconds + kFileTimeUnixOffsetSeconds) * 10000000LL + nanoseconds / 100;
    return ticks < 0 ? 0 : static_cast<FileTime>(ticks);
}

void UnixFromFileTime(FileTime time, int64_t& seconds, int64_t& nanoseconds) {
    int64_t ticks = static_cast<int64_t>(time);
    seconds = ticks / 10000000LL - kFileTimeUnixOffsetSeconds;
    nanoseconds = (ticks % 10000000LL) * 100;
}

FileTime FileTimeFromCivil(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return 0;
    int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return FileTimeFromUnix(seconds);
}

} // namespace quillory
