// A heartbeat record has room for six digits of process id.
#pragma once
#include <string>

const unsigned long LargestRecordPid = 999999;

// Empty when `pid` fits a record; otherwise why a client with it must not
// run: cut to six digits it would name another process, the one the watchdog
// would kill when the record goes stale.
std::string PidRefusal(unsigned long pid);
