// The supervised programs' side of the status segment: the server creates the
// mapping and the mutex, clients and tools open them, and every touch of the
// segment's bytes happens between LockSegmentMutex and UnlockSegmentMutex.
#pragma once
#include <windows.h>

#include <string>

extern const char* const SegmentMappingName; // "Global\\KelmMem"
extern const char* const SegmentMutexName;   // "Global\\KelmMemMutex"

// Security of the objects the server creates (SDDL). The mapping: full access
// for SYSTEM and Administrators (the watchdog opens it with FILE_MAP_WRITE),
// read and write for authenticated users (clients run as ordinary users). The
// mutex: full access for SYSTEM and Administrators, wait and release
// (SYNCHRONIZE | MUTEX_MODIFY_STATE) for authenticated users.
extern const char* const SegmentMappingSddl;
extern const char* const SegmentMutexSddl;

struct SegmentSide {
    HANDLE mapping = nullptr;
    HANDLE mutex = nullptr;
    char* view = nullptr; // the whole 10240 bytes, mapped for the process's life
};

// Creates the mapping (10240 zero bytes from the paging file) and the mutex
// with the security above, or opens them when they exist already (a server
// restarted while clients still hold the segment keeps their records). An
// existing mutex gets the security above too, whoever created it; a failure
// to apply it is reported and not fatal. On failure fills `error` and
// releases what it took.
bool CreateSegment(SegmentSide& segment, bool& existed, std::string& error);

// Opens the existing mapping with `mapAccess` (FILE_MAP_WRITE or FILE_MAP_READ)
// and the mutex. `missing` tells a segment that does not exist yet (worth
// waiting for) from a real failure.
bool OpenSegment(SegmentSide& segment, DWORD mapAccess, bool& missing, std::string& error);

void CloseSegment(SegmentSide& segment);

enum LockResult { LockTaken, LockTakenAbandoned, LockFailed };

// Waits for the mutex without a time limit. An abandoned mutex is owned all
// the same: its last owner died, the bytes it guards are still whole enough to
// be rewritten by the next heartbeat.
LockResult LockSegmentMutex(const SegmentSide& segment);
void UnlockSegmentMutex(const SegmentSide& segment);

// LockSegmentMutex that reports an abandoned mutex and a failed wait; true
// when the mutex is owned.
bool TakeSegmentMutex(const SegmentSide& segment);

// "text, error N" for the calling thread's last error.
std::string WithLastError(const std::string& text);
