#include "settings/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

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

int64_t systemUtcSeconds(void*) {
    return static_cast<int64_t>(std::time(nullptr));
}

int systemUtcOffset(void*, int64_t utc) {
#ifdef _WIN32
    // The UTC time as a FILETIME (100 ns since 1601), turned into local time by the zone's
    // rules for that date.
    const ULONGLONG ticks = (static_cast<ULONGLONG>(utc) + 11644473600ULL) * 10000000ULL;
    FILETIME utcTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal, local;
    FILETIME localTime;
    if (!FileTimeToSystemTime(&utcTime, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local) ||
        !SystemTimeToFileTime(&local, &localTime)) {
        return 0;
    }
    const ULONGLONG l =
        (static_cast<ULONGLONG>(localTime.dwHighDateTime) << 32) | localTime.dwLowDateTime;
    return static_cast<int>((static_cast<LONGLONG>(l) - static_cast<LONGLONG>(ticks)) /
                            600000000LL);
#else
    const std::time_t t = static_cast<std::time_t>(utc);
    std::tm tm{};
    localtime_r(&t, &tm);
    return static_cast<int>(tm.tm_gmtoff / 60);
#endif
}

}  // namespace

Clock systemClock() {
    Clock c;
    c.localTime = systemLocalTime;
    c.tickCount = systemTickCount;
    c.utcSeconds = systemUtcSeconds;
    c.utcOffsetMinutes = systemUtcOffset;
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
