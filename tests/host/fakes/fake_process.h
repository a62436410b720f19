// Control side of the process fakes: the process list of the snapshot, the
// processes OpenProcess finds with their creation times, and the command
// runner that stands in for the C runtime's system().
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace fake {

struct ProcessEntry {
    DWORD pid;
    std::string exeFile;
};

extern std::vector<ProcessEntry> processList;
extern bool snapshotFails;

// pid -> creation time in seconds since 1970 UTC; others are not found.
extern std::map<DWORD, long long> processCreated;

// OpenProcess of this pid throws std::bad_alloc, as memory exhaustion would
// (0: never).
extern DWORD openProcessThrowsFor;

// Every command given to system(), in order.
extern std::vector<std::string> commands;

} // namespace fake
