// The status segment "Global\KelmMem": 256 bloqs of 40 bytes, guarded by the
// named mutex "Global\KelmMemMutex". The supervised programs create it; the
// watchdog only opens it.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

const int SegmentSize = 10240;
const int BloqSize = 40;
const int BloqCount = SegmentSize / BloqSize;
const int ClientCountOffset = 80; // ClientCountField: segment bytes 80 to 84
const int ClientCountSize = 5;

// Both absent until the first open. Each open replaces the mutex handle and
// closes the one before; a failed view drops the mapping handle until the next
// heartbeat reopens it. Otherwise both are left to the system at exit.
extern HANDLE SegmentMutexHandle;
extern HANDLE SegmentMappingHandle;

// Opens (or creates) the mutex, then opens the mapping; logs each failure.
void OpenSharedMemory();

enum SegmentAccess { AccessNoMapping, AccessMapFailed, AccessDone };

// The one access protocol: with the mapping open, takes the mutex (an
// abandoned one counts as taken), maps a view of the whole segment, hands it to
// `copy`, unmaps and releases. A view that cannot be mapped logs
// `mapFailureMessage` with the error code and drops the mapping handle.
SegmentAccess AccessSharedMemory(const char* mapFailureMessage,
                                 const std::function<void(char* view)>& copy);

// The 40 bytes of a bloq; 40 zero bytes with no mapping; empty after a failed
// view or for an index outside 0..255 (logged).
std::string ReadBloqFromSharedMemory(int index);

// 1 when the bloq was zeroed, 0 otherwise.
int ClearBloqSharedMemory(int index);

// The five bytes of ClientCountField; five zero bytes with no mapping; empty
// after a failed view.
std::string ReadClientCountField();
