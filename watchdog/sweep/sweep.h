// The liveness sweep: once a minute, judge the server's and the clients'
// heartbeat records; restart the service for a stale server, kill a stale
// client and clear its bloq.
#pragma once
#include <windows.h>

#include <string>

#include "../segment/heartbeat.h"

// One whole sweep; every outcome goes to the log.
void checkPIDs();

// A record is stale at 91 seconds and more; a stamp ahead of the clock never is.
const StampTicks StaleAge = 91 * TicksPerSecond;

// A bloq's text counts as a record when it begins with "PID".
bool IsRecord(const std::string& bloq);

// The value after the first `tag` in a 40-character record, `width` characters
// at most; without the tag the value starts at position 3, just after "PID".
std::string RecordField(const std::string& record, const char* tag, size_t width);

// The record's stamp as StampTicks (ParseStamp of its "INI:" field; 0 when it
// does not parse).
StampTicks RecordStamp(const std::string& record);

// Age against the clock now (NowStamp() - RecordStamp), and the rule: stale at
// >= 91 s.
bool IsStale(StampTicks age);

// The client count: NUL and white space dropped wherever they stand, the rest
// read as the standard library's stoi reads it (throws with the texts
// "invalid stoi argument" and "stoi argument out of range").
std::string CompactCount(const std::string& field);
int ConvertCount(const std::string& text);

// The highest bloq index one sweep asks for with this count: count + 2, but
// never past the first index beyond bloq 255 (256), which still logs its one
// range error.
int LastClientBloq(int count);

// Why the kill command would or would not run for a stale record's pid text.
enum KillCheck { KillRun, KillPidNotNumber, KillPidReused };

// When `process` is given it receives the open handle of that pid's process (or
// nullptr); the sweep keeps it open until the command has returned, then
// closes it.
KillCheck CheckKill(const std::string& pidText, StampTicks recordStamp, HANDLE* process = nullptr);

// "\"<system folder>\\taskkill.exe\" /F /PID " + the pid text.
std::string KillCommand(const std::string& pidText);
