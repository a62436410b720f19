// Time-zone rules the fuzz targets switch between: none, a northern and a
// southern daylight saving, a half-hour change, an offset of 5:45.
#pragma once
#include <cstdlib>
#include <ctime>

inline void UseZone(unsigned pick)
{
    static const char* const zones[] = {
        "UTC0",
        "CET-1CEST,M3.5.0,M10.5.0/3",
        "EST5EDT,M3.2.0,M11.1.0",
        "<-03>3<-02>,M10.1.0/0,M2.3.0/0",
        "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",
        "<+0545>-5:45",
    };
    static int current = -1;
    const int zone = static_cast<int>(pick % (sizeof zones / sizeof zones[0]));
    if (zone == current)
        return;
    setenv("TZ", zones[zone], 1);
    tzset();
    current = zone;
}

// The local wall clock at a moment, read as if it were UTC, in seconds.
inline long long LocalSecondsAt(long long unixSeconds)
{
    const std::time_t moment = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    localtime_r(&moment, &local);
    return static_cast<long long>(timegm(&local));
}
