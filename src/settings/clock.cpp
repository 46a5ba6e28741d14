#include "settings/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace vorda {

namespace {

LocalTime systemLocalTime(void*) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    return t;
}

uint32_t systemTickCount(void*) {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

Clock systemClock() {
    Clock c;
    c.localTime = systemLocalTime;
    c.tickCount = systemTickCount;
    return c;
}

std::string timeText(const LocalTime& t) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour % 100, t.minute % 100,
                  t.second % 100);
    return buffer;
}

std::string dateText(const LocalTime& t) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d", t.day % 100, t.month % 100,
                  t.year % 100);
    return buffer;
}

}  // namespace vorda
