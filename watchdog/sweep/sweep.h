// The liveness sweep: once a minute, judge the server's and the clients'
// heartbeat records; restart the service for a stale server, kill a stale
// client and clear its bloq.
#pragma once
#include <string>

#include "../segment/heartbeat.h"

// One whole sweep; every outcome goes to the log.
void checkPIDs();

// A record is stale at 91 seconds and more; a stamp ahead of the clock never is.
const StampTicks StaleAge = 91 * TicksPerSecond;

// The value after the first `tag` in a 40-character record, `width` characters
// at most; without the tag the value starts at position 3, just after "PID".
std::string RecordField(const std::string& record, const char* tag, size_t width);

// The client count: NUL and white space dropped wherever they stand, the rest
// read as the standard library's stoi reads it (throws with the texts
// "invalid stoi argument" and "stoi argument out of range").
std::string CompactCount(const std::string& field);
int ConvertCount(const std::string& text);

// Whether the kill command may be run for this pid text from a stale record
// stamped `stamp`: only a plain process number, and never a process that was
// created after the record was written (its number has been reused).
bool MayKill(const std::string& pidText, StampTicks stamp);
