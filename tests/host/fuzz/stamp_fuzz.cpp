// Any byte string may reach ParseStamp from a bloq: it must never crash, hang or
// read past the text, and whatever it accepts must be a whole number of seconds
// that it gives back for the same stamp written out again.
#include "../../../watchdog/segment/heartbeat.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const StampTicks ticks = ParseStamp(text);
    if (ticks % TicksPerSecond != 0)
        std::abort();
    if (ticks != 0) {
        // Render the value back as dd/mm/yy hh:mm:ss and read it again.
        long long seconds = ticks / TicksPerSecond;
        long long days = seconds / 86400, rest = seconds % 86400;
        if (rest < 0) {
            rest += 86400;
            --days;
        }
        // civil-from-days
        days += 719468;
        const long long era = (days >= 0 ? days : days - 146096) / 146097;
        const long long doe = days - era * 146097;
        const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const long long mp = (5 * doy + 2) / 153;
        const long long day = doy - (153 * mp + 2) / 5 + 1;
        const long long month = mp < 10 ? mp + 3 : mp - 9;
        const long long year = yoe + era * 400 + (month <= 2);
        if (year < 1969 || year > 2068)
            std::abort();
        char again[32];
        std::snprintf(again, sizeof again, "%02lld/%02lld/%02lld %02lld:%02lld:%02lld", day, month, year % 100,
                      rest / 3600, rest / 60 % 60, rest % 60);
        if (ParseStamp(again) != ticks)
            std::abort();
    }
    return 0;
}
