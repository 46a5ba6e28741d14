// The clock seam: local date and time, a millisecond tick count, and the wall clock that
// planned price orders keep (seconds since 1970 UTC, and the local zone's offset).
// A small table of functions, so that tests run the core on a clock of their own.
#pragma once

#include <cstdint>
#include <string>

namespace vorda {

struct LocalTime {
    int year = 2000;  // four digits
    int month = 1;    // 1 to 12
    int day = 1;      // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct Clock {
    void* context = nullptr;
    LocalTime (*localTime)(void* context) = nullptr;
    uint32_t (*tickCount)(void* context) = nullptr;  // milliseconds, wraps
    // Seconds since 1970-01-01 00:00 UTC; and the local zone's offset from UTC, in minutes
    // (summer time included), at the UTC time `utc`.
    int64_t (*utcSeconds)(void* context) = nullptr;
    int (*utcOffsetMinutes)(void* context, int64_t utc) = nullptr;

    int64_t utcNow() const { return utcSeconds != nullptr ? utcSeconds(context) : 0; }
    int offsetAt(int64_t utc) const {
        return utcOffsetMinutes != nullptr ? utcOffsetMinutes(context, utc) : 0;
    }
};

// The machine's own clock.
Clock systemClock();

// "HH:MM:SS", 24-hour.
std::string timeText(const LocalTime& t);
// "DD/MM/YY", day first.
std::string dateText(const LocalTime& t);

}  // namespace vorda
