// The watchdog's log: one time-stamped line per call, appended to "../Log.txt".
#pragma once
#include <string>

enum LogLevel : int {
    LOG_DEBUG = 0,
    LOG_INFO = 1,
    LOG_WARNING = 2,
    LOG_ERROR = 3,
    LOG_CRITICO = 4,
};

// Appends "[stamp] LEVEL: message" with CR LF line ends. Any other level value
// is written as OTROS. Never fails visibly: an unopenable file makes it a no-op.
void WriteLog(int level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The present calendar time in whole seconds since 1970-01-01 00:00:00 UTC.
long long UnixSecondsNow();

// "dd/mm/yy hh:mm:ss" in the machine's local time; empty if the time cannot be
// converted.
std::string LocalStampText(long long unixSeconds);
