#include "service.h"

#include "scm.h"
#include "shell/log.h"

void StopSvc()
{
    // One budget for the whole call: a stop already pending, the dependents
    // and the wait after our own stop control.
    const ULONGLONG start = GetTickCount64();

    SvcManagerHandle = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (SvcManagerHandle == nullptr) {
        WriteLog(LOG_ERROR, "[WD] OpenSCManager en StopSvc, error: %d", static_cast<int>(GetLastError()));
        return;
    }
    const ScHandleGuard manager = GuardScHandle(SvcManagerHandle);

    SvcHandle = OpenServiceA(SvcManagerHandle, SvcName,
                             SERVICE_STOP | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_QUERY_STATUS);
    if (SvcHandle == nullptr) {
        WriteLog(LOG_ERROR, "[WD] OpenService en StopSvc, error: %d", static_cast<int>(GetLastError()));
        return;
    }
    const ScHandleGuard service = GuardScHandle(SvcHandle);

    SERVICE_STATUS_PROCESS status = {};
    if (!QuerySvcStatus(SvcHandle, status)) {
        WriteLog(LOG_ERROR, "[WD] QueryServiceStatusEx, error: %d", static_cast<int>(GetLastError()));
        return;
    }
    if (status.dwCurrentState == SERVICE_STOPPED)
        return;

    // Someone else's stop is under way: wait for it rather than send another.
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        WriteLog(LOG_WARNING, "[WD] Detener el servicio pendiente...");
        Sleep(PollInterval(status.dwWaitHint));
        if (!QuerySvcStatus(SvcHandle, status)) {
            WriteLog(LOG_ERROR, "[WD] QueryServiceStatusEx, error: %d", static_cast<int>(GetLastError()));
            return;
        }
        if (status.dwCurrentState == SERVICE_STOPPED) {
            WriteLog(LOG_INFO, "[WD] Servicio detenido correctamente");
            return;
        }
        if (ElapsedSince(start) > StopBudgetMs) {
            WriteLog(LOG_WARNING, "[WD] Tiempo de espera agotado para detener el servicio");
            return;
        }
    }

    // Windows refuses to stop a service while a dependent runs. Our own stop
    // control is sent whatever became of them.
    StopDependents();
    if (!SendStopControl(SvcHandle, status)) {
        WriteLog(LOG_ERROR, "[WD] ControlService, error: %d", static_cast<int>(GetLastError()));
        return;
    }
    while (status.dwCurrentState != SERVICE_STOPPED) {
        Sleep(StopPause(status.dwWaitHint, start));
        if (!QuerySvcStatus(SvcHandle, status)) {
            WriteLog(LOG_ERROR, "[WD] QueryServiceStatusEx, error: %d", static_cast<int>(GetLastError()));
            return;
        }
        if (status.dwCurrentState == SERVICE_STOPPED)
            break;
        if (ElapsedSince(start) > StopBudgetMs) {
            WriteLog(LOG_INFO, "[WD] Wait timed out");
            return;
        }
    }
    WriteLog(LOG_INFO, "[WD] Servicio detenido correctamente");
}
