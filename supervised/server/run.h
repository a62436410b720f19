// The server's work, the same whether it runs as the service or in a console:
// create the segment, keep bloq 0 fresh and the client count right, and give
// bloq 0 back when told to stop.
#pragma once
#include "options.h"

#include <windows.h>

// Exit codes; the service reports a non-zero one as its service-specific code.
enum ServerExit {
    ServerExitOk = 0,
    ServerExitSegment = 1, // mapping or mutex not creatable, view not mappable
    ServerExitUsage = 2,
    ServerExitLock = 4,    // the mutex wait failed
};

// Set by the caller before RunServer: named events in a console, unnamed ones
// that the service's control handler sets otherwise.
extern HANDLE ServerStopEvent;
extern HANDLE ServerHangEvent;
extern HANDLE ServerResumeEvent;

// Called at each step of start and stop: SERVICE_START_PENDING,
// SERVICE_RUNNING, SERVICE_STOP_PENDING, with a wait hint for the pending ones.
typedef void (*ServerStateReporter)(DWORD state, DWORD waitHintMs);

int RunServer(const ServerOptions& options, ServerStateReporter reportState);
