#include "service.h"

#include "scm.h"

#include <algorithm>

SC_HANDLE SvcManagerHandle = nullptr;
SC_HANDLE SvcHandle = nullptr;

static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36, "status record of 36 bytes");

DWORD PollInterval(DWORD waitHint)
{
    const DWORD pause = waitHint / 10;
    if (pause < MinPauseMs)
        return MinPauseMs;
    if (pause > 10000)
        return 10000;
    return pause;
}

DWORD StopPause(DWORD waitHint, ULONGLONG start)
{
    // The budget runs out once more than StopBudgetMs have passed.
    const ULONGLONG elapsed = ElapsedSince(start);
    const ULONGLONG left = elapsed > StopBudgetMs ? 0 : StopBudgetMs + 1 - elapsed;
    return static_cast<DWORD>(std::min<ULONGLONG>(std::max(waitHint, MinPauseMs), left));
}

BOOL QuerySvcStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status)
{
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                sizeof status, &needed);
}

BOOL SendStopControl(SC_HANDLE service, SERVICE_STATUS_PROCESS& status)
{
    return ControlService(service, SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status));
}
