// The client's life: wait for the segment, take a bloq, heartbeat, give the
// bloq back.
#pragma once
#include "options.h"

enum ClientExit {
    ClientExitOk = 0,
    ClientExitSegment = 1, // segment missing after --wait-segment, or not openable
    ClientExitUsage = 2,
    ClientExitNoBloq = 3,  // bloqs 3 to 255 all taken
    ClientExitLock = 4,    // the mutex wait failed
    ClientExitPid = 5,     // the process id has more than six digits
};

int RunClient(const ClientOptions& options);

// --signal: sets another client's stop, hang or resume event.
int SignalClient(const std::string& what, unsigned long pid);
