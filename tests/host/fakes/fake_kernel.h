// Control side of the kernel fakes: clock, named mappings and mutexes, handles,
// and a journal of the calls made, so that tests can assert order and balance.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace fake {

// Every fake call appends its name (and, where useful, an argument) here.
extern std::vector<std::string> calls;

// Back to a clean machine: no objects, clock at 2025-12-08 11:00:05 UTC, tick
// count 0, process id 4, empty journal.
void ResetKernel();

// The system clock, in seconds since 1970 UTC. Sleep advances it and the tick
// count together.
void SetUnixTime(long long seconds);
long long UnixTime();
extern ULONGLONG tickCount;

extern DWORD currentPid;

// Creates the named mapping of `size` zero bytes; its bytes stay reachable.
std::vector<char>& CreateMapping(const std::string& name, size_t size);
std::vector<char>& Mapping(const std::string& name);

// Failure injection: the next CreateMutexA fails with this code (0: succeeds);
// each MapViewOfFile takes the front error of the queue (empty or 0: succeeds);
// the next `abandonedWaits` mutex waits report WAIT_ABANDONED, as after a holder
// that died.
extern DWORD createMutexError;
extern std::vector<DWORD> mapViewErrors;
extern int abandonedWaits;

// The mapping's name goes away, as when its last handle elsewhere is closed.
void RemoveMapping(const std::string& name);

// Mutex bookkeeping: waits and releases on any mutex, and views still mapped.
extern int mutexWaits;
extern int mutexReleases;
extern int viewsMapped;

// A handle of the given kind that CloseHandle accepts once; handles of any kind
// still open.
HANDLE NewHandle(const std::string& kind, const std::string& name);
// The name given to an open handle of that kind; empty once it is closed.
std::string HandleName(HANDLE handle, const std::string& kind);
int OpenHandleCount();
int OpenHandleCount(const std::string& kind);

// How many journal entries equal `name`.
int CallCount(const std::string& name);

} // namespace fake
