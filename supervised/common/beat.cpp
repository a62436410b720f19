#include "beat.h"

#include "report.h"

bool WaitForBeat(const HANDLE (&events)[3], DWORD timeout, bool& heartbeating)
{
    const DWORD woke = WaitForMultipleObjects(3, events, FALSE, timeout);
    if (woke == WAIT_OBJECT_0)
        return false;
    if (woke == WAIT_OBJECT_0 + 1) {
        heartbeating = false;
        Report("told to hang: heartbeat stopped, still running");
    } else if (woke == WAIT_OBJECT_0 + 2) {
        heartbeating = true;
        Report("told to resume: heartbeat restarted");
    }
    return true;
}
