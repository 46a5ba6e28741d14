// The clock seam: local date and time, and a millisecond tick count.
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
};

// The machine's own clock.
Clock systemClock();

// "HH:MM:SS", 24-hour.
std::string timeText(const LocalTime& t);
// "DD/MM/YY", day first.
std::string dateText(const LocalTime& t);

}  // namespace vorda
