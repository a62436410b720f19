#include "heartbeat.h"

#include "../shell/log.h"

#include <windows.h>

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

// FILETIME's range: 1601 up to 2^63 ticks, in seconds from 1970.
const long long FirstFileTimeSecond = -11644473600LL;
const long long LastFileTimeSecond = 910692730085LL;

// How far the local wall clock stood ahead of UTC at a moment, in seconds.
bool LocalOffset(long long unixSeconds, long long& offset)
{
    const unsigned long long ticks = static_cast<unsigned long long>(unixSeconds - FirstFileTimeSecond) * 10000000ULL;
    const FILETIME moment = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&moment, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return false;
    const int64_t localSeconds = DaysFromEpoch(local.wYear, local.wMonth, local.wDay) * 86400 +
                                 local.wHour * 3600 + local.wMinute * 60 + local.wSecond;
    offset = localSeconds - unixSeconds;
    return true;
}

} // namespace

long long LocalStampToUtc(StampTicks local)
{
    const long long fraction = (local % TicksPerSecond + TicksPerSecond) % TicksPerSecond;
    const long long seconds = local / TicksPerSecond - (local % TicksPerSecond < 0);
    const long long day = 86400;
    if (seconds < FirstFileTimeSecond + 2 * day || seconds > LastFileTimeSecond - 2 * day)
        return 0;
    // No zone is a day away from UTC, so the offsets a day before and a day
    // after the reading are those on either side of any change near it. Each
    // gives a candidate moment; the clock really showed the reading at a
    // candidate when the offset there is the one that produced it. Two such
    // (the repeated hour) or none (the skipped hour): the later candidate.
    long long later = 0;
    int rank = -1;
    for (long long probe : {seconds - day, seconds + day}) {
        long long offset = 0, there = 0;
        if (!LocalOffset(probe, offset) || !LocalOffset(seconds - offset, there))
            return 0;
        const long long utc = seconds - offset;
        const int shown = there == offset ? 1 : 0;
        if (shown > rank || (shown == rank && utc > later)) {
            later = utc;
            rank = shown;
        }
    }
    return later * TicksPerSecond + fraction;
}

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
