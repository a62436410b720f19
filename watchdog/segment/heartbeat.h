// Heartbeat records and the stamps inside them.
#pragma once
#include <cstdint>
#include <string>

// 100 ns ticks from 1970-01-01 00:00:00 to a local wall-clock reading taken as
// if it were UTC.
typedef int64_t StampTicks;

const StampTicks TicksPerSecond = 10000000;

// Reads "dd/mm/yy hh:mm:ss" (one-digit fields allowed, any run of white space
// or none between year and hour) from the start of the text; 0 when it does
// not begin with a valid stamp. Years 69-99 are 19xx, 00-68 are 20xx.
StampTicks ParseStamp(const std::string& text);

// The present local time, through the same text and parse as a record's stamp.
StampTicks NowStamp();

// A moment given in seconds since 1970 UTC, seen on the local wall clock.
StampTicks StampOfUnixSeconds(long long unixSeconds);

// A local stamp as UTC ticks since 1970, by the machine's time-zone rules;
// where the local time occurs twice (the hour repeated when daylight saving
// ends) the later of the two readings. 0 on failure.
long long LocalStampToUtc(StampTicks local);

// "PID:" + six-digit process id + " TYP:" + type + " INI:" + stamp: exactly 40
// characters. Ids above 999999 keep their last six digits, so that the record
// never grows past its bloq.
std::string BuildHeartbeatRecord(unsigned long pid, const char* type, const std::string& stamp);

// Writes the watchdog's record into bloq 1 (mode 1) or clears bloq 1 (mode 0),
// opening the segment first when it is not open.
void PingSharedMemory(int mode);
