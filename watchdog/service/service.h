// Service control: stopping "ZorvaService" after its active dependents, and
// starting it again. Every outcome is a line in the log; nothing is returned
// to the caller.
#pragma once
#include <windows.h>

// The supervised service, on the local machine.
inline constexpr char SvcName[] = "ZorvaService";

// Filled by StopSvc and StartSvc as they open them and closed (service first)
// before they return. Not cleared afterwards: between calls they are stale.
extern SC_HANDLE SvcManagerHandle;
extern SC_HANDLE SvcHandle;

// Pause between polls of a service that is pending on its own, before any
// control was sent: a tenth of the wait hint, kept within 1000..10000 ms.
DWORD PollInterval(DWORD waitHint);

// Stops the active dependents, then the service, within 30000 ms of entry.
void StopSvc();

// Stops every active dependent of SvcHandle, opened through SvcManagerHandle;
// runs only inside StopSvc, while both are open. 1 when there was none or all
// of them stopped, else 0. Writes no log lines.
int StopDependents();

// Starts the service, after waiting out a stop that is still pending.
void StartSvc();
