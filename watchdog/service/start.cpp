#include "service.h"

#include "scm.h"
#include "shell/log.h"

#include <algorithm>

namespace {

// Progress of a pending wait is tracked by the tick of the latest rise of the
// check point (or of the wait's beginning) and that check point. A rise renews
// the allowance; without one the service has one wait hint of time, but no
// more than MaxStallMs (a hint of INFINITE would block us for 49 days). There
// is no overall limit.
bool StillProgressing(const SERVICE_STATUS_PROCESS& status, ULONGLONG& since, DWORD& lastCheckPoint)
{
    if (status.dwCheckPoint > lastCheckPoint) {
        since = GetTickCount64();
        lastCheckPoint = status.dwCheckPoint;
        return true;
    }
    return ElapsedSince(since) <= std::min(status.dwWaitHint, MaxStallMs);
}

} // namespace

void StartSvc()
{
    SvcManagerHandle = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (SvcManagerHandle == nullptr) {
        WriteLog(LOG_ERROR, "[WD] OpenSCManager en StartSvc, error: %d", static_cast<int>(GetLastError()));
        return;
    }
    const ScHandleGuard manager = GuardScHandle(SvcManagerHandle);

    SvcHandle = OpenServiceA(SvcManagerHandle, SvcName,
                             SERVICE_START | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_QUERY_STATUS);
    if (SvcHandle == nullptr) {
        WriteLog(LOG_ERROR, "[WD] OpenService en StartSvc, error: %d", static_cast<int>(GetLastError()));
        return;
    }
    const ScHandleGuard service = GuardScHandle(SvcHandle);

    SERVICE_STATUS_PROCESS status = {};
    if (!QuerySvcStatus(SvcHandle, status)) {
        WriteLog(LOG_ERROR, "[WD] QueryServiceStatusEx1, error: %d", static_cast<int>(GetLastError()));
        return;
    }
    if (status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING) {
        WriteLog(LOG_WARNING, "[WD] No se puede iniciar el servicio por que esta en ejecución");
        return;
    }

    // StopSvc may have run out of budget while the stop goes on.
    ULONGLONG since = GetTickCount64();
    DWORD lastCheckPoint = status.dwCheckPoint;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        Sleep(PollInterval(status.dwWaitHint));
        if (!QuerySvcStatus(SvcHandle, status)) {
            WriteLog(LOG_ERROR, "[WD] QueryServiceStatusEx2, error: %d", static_cast<int>(GetLastError()));
            return;
        }
        // A service that has just stopped reports check point 0 and wait hint
        // 0, which the progress test would take for a stall.
        if (status.dwCurrentState != SERVICE_STOP_PENDING)
            break;
        if (!StillProgressing(status, since, lastCheckPoint)) {
            WriteLog(LOG_WARNING, "[WD] Tiempo de espera agotado para detener el servicio");
            return;
        }
    }

    if (!StartServiceA(SvcHandle, 0, nullptr)) {
        WriteLog(LOG_ERROR, "[WD] StartService, error: %d", static_cast<int>(GetLastError()));
        return;
    }
    WriteLog(LOG_WARNING, "[WD] Iniciar el servicio pendiente...");
    if (!QuerySvcStatus(SvcHandle, status)) {
        WriteLog(LOG_ERROR, "[WD] QueryServiceStatusEx3, error: %d", static_cast<int>(GetLastError()));
        return;
    }

    since = GetTickCount64();
    lastCheckPoint = status.dwCheckPoint;
    while (status.dwCurrentState == SERVICE_START_PENDING) {
        Sleep(PollInterval(status.dwWaitHint));
        // Read into a copy, so that the report shows the last record read.
        SERVICE_STATUS_PROCESS latest = {};
        if (!QuerySvcStatus(SvcHandle, latest)) {
            WriteLog(LOG_ERROR, "[WD] QueryServiceStatusEx4, error: %d", static_cast<int>(GetLastError()));
            break;
        }
        status = latest;
        if (status.dwCurrentState != SERVICE_START_PENDING || !StillProgressing(status, since, lastCheckPoint))
            break;
    }

    if (status.dwCurrentState == SERVICE_RUNNING) {
        WriteLog(LOG_INFO, "[WD] Servicio iniciado correctamente");
        return;
    }
    WriteLog(LOG_ERROR, "[WD] Service %s no iniciado \n Current State: %d\n Exit Code: %d\n Check Point: %d\n Wait Hint: %d",
             SvcName, static_cast<int>(status.dwCurrentState), static_cast<int>(status.dwWin32ExitCode),
             static_cast<int>(status.dwCheckPoint), static_cast<int>(status.dwWaitHint));
}
