#include "service.h"

#include "scm.h"

#include <memory>

namespace {

void FreeEnumBuffer(LPENUM_SERVICE_STATUSA block) { HeapFree(GetProcessHeap(), 0, block); }

using EnumBuffer = std::unique_ptr<ENUM_SERVICE_STATUSA, void (*)(LPENUM_SERVICE_STATUSA)>;

// Sends the stop control to one dependent and waits for it against the
// budget that began at `start`. 1 when it reached SERVICE_STOPPED.
int StopDependent(SC_HANDLE dependent, SERVICE_STATUS_PROCESS& status, ULONGLONG start)
{
    if (!SendStopControl(dependent, status))
        return 0;
    while (status.dwCurrentState != SERVICE_STOPPED) {
        Sleep(StopPause(status.dwWaitHint, start));
        if (!QuerySvcStatus(dependent, status))
            return 0;
        if (status.dwCurrentState == SERVICE_STOPPED)
            break;
        if (ElapsedSince(start) > StopBudgetMs)
            return 0;
    }
    return 1;
}

} // namespace

int StopDependents()
{
    const ULONGLONG start = GetTickCount64();
    int result = 1;

    // A size request that succeeds means there is no active dependent.
    DWORD needed = 0;
    DWORD count = 0;
    if (EnumDependentServicesA(SvcHandle, SERVICE_ACTIVE, nullptr, 0, &needed, &count))
        return 1;
    if (GetLastError() != ERROR_MORE_DATA)
        return 0;

    EnumBuffer buffer(static_cast<LPENUM_SERVICE_STATUSA>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed)),
                      FreeEnumBuffer);
    if (!buffer)
        return 0;
    // Fails too when a dependent started since the size request.
    if (!EnumDependentServicesA(SvcHandle, SERVICE_ACTIVE, buffer.get(), needed, &needed, &count))
        return 0;

    SERVICE_STATUS_PROCESS status = {};
    for (DWORD i = 0; i < count; ++i) {
        const ScHandleGuard dependent =
            GuardScHandle(OpenServiceA(SvcManagerHandle, buffer.get()[i].lpServiceName,
                                       SERVICE_STOP | SERVICE_QUERY_STATUS));
        if (!dependent)
            return 0;
        if (!StopDependent(dependent.get(), status, start))
            result = 0;
    }
    return result;
}
