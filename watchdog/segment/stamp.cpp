#include "heartbeat.h"

#include "../shell/log.h"

#include <cstdio>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One or two digits at `pos`; advances past them.
bool ReadNumber(const std::string& text, size_t& pos, int& value)
{
    if (pos >= text.size() || !IsDigit(text[pos]))
        return false;
    value = text[pos++] - '0';
    if (pos < text.size() && IsDigit(text[pos]))
        value = value * 10 + (text[pos++] - '0');
    return true;
}

bool Expect(const std::string& text, size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to the given date of the Gregorian calendar.
int64_t DaysFromEpoch(int year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

StampTicks ParseStamp(const std::string& text)
{
    size_t pos = 0;
    int day, month, year, hour, minute, second;
    if (!ReadNumber(text, pos, day) || !Expect(text, pos, '/') ||
        !ReadNumber(text, pos, month) || !Expect(text, pos, '/') ||
        !ReadNumber(text, pos, year))
        return 0;
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    if (!ReadNumber(text, pos, hour) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, minute) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, second))
        return 0;
    // A third digit would make the seconds a longer number than a stamp has.
    if (pos < text.size() && IsDigit(text[pos]))
        return 0;

    year += year >= 69 ? 1900 : 2000;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return 0;
    const int64_t seconds = DaysFromEpoch(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return seconds * TicksPerSecond;
}

StampTicks StampOfUnixSeconds(long long unixSeconds)
{
    return ParseStamp(LocalStampText(unixSeconds));
}

StampTicks NowStamp()
{
    return StampOfUnixSeconds(UnixSecondsNow());
}

std::string BuildHeartbeatRecord(unsigned long pid, const char* type, const std::string& stamp)
{
    char head[24];
    std::snprintf(head, sizeof head, "PID:%06lu TYP:%.3s INI:", pid % 1000000UL, type);
    return (head + stamp).substr(0, 40);
}
