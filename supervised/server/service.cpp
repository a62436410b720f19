#include "service.h"
#include "run.h"

#include <report.h>
#include <zorva_names.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

static ServerOptions CommandLineOptions;
static int ServiceExitCode = 0;

static SERVICE_STATUS_HANDLE StatusHandle = nullptr;
static SERVICE_STATUS Status;
static CRITICAL_SECTION StatusLock; // the handler and ServiceMain report from two threads

// Check points rise by one with every report of a pending state and are 0
// otherwise, as the service control manager expects.
static void ReportServiceStatus(DWORD state, DWORD waitHintMs, DWORD exitCode)
{
    EnterCriticalSection(&StatusLock);
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    Status.dwCheckPoint = pending && Status.dwCurrentState == state ? Status.dwCheckPoint + 1 : (pending ? 1 : 0);
    Status.dwCurrentState = state;
    Status.dwWaitHint = waitHintMs;
    Status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    Status.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    Status.dwServiceSpecificExitCode = exitCode;
    SetServiceStatus(StatusHandle, &Status);
    LeaveCriticalSection(&StatusLock);
}

static void ReportServiceState(DWORD state, DWORD waitHintMs)
{
    EnterCriticalSection(&StatusLock);
    // A stop that the handler already announced must not fall back to
    // RUNNING when the start finishes late.
    const bool stopping = Status.dwCurrentState == SERVICE_STOP_PENDING && state != SERVICE_STOP_PENDING;
    LeaveCriticalSection(&StatusLock);
    if (!stopping)
        ReportServiceStatus(state, waitHintMs, 0);
}

static DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, LPVOID, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        ReportServiceStatus(SERVICE_STOP_PENDING, 1000, 0);
        SetEvent(ServerStopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    case ServerControlHang:
        SetEvent(ServerHangEvent);
        return NO_ERROR;
    case ServerControlResume:
        SetEvent(ServerResumeEvent);
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

static void WINAPI ServiceMain(DWORD argc, LPSTR* argv)
{
    StatusHandle = RegisterServiceCtrlHandlerExA(ZorvaServiceName, ServiceControlHandler, nullptr);
    if (StatusHandle == nullptr) {
        Report("cannot register the service control handler, error %lu", GetLastError());
        ServiceExitCode = ServerExitSegment;
        return;
    }
    Status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;

    // Start arguments (sc start ZorvaService --hang) add to those of the
    // binary path; argv[0] is the service's name.
    ServerOptions options = CommandLineOptions;
    std::string error;
    if (!ParseServerOptions(static_cast<int>(argc), argv, 1, options, error)) {
        Report("bad start argument: %s", error.c_str());
        ServiceExitCode = ServerExitUsage;
        ReportServiceStatus(SERVICE_STOPPED, 0, ServiceExitCode);
        return;
    }

    ServerStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ServerHangEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ServerResumeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ServiceExitCode = RunServer(options, ReportServiceState);
    ReportServiceStatus(SERVICE_STOPPED, 0, ServiceExitCode);
}

bool RunAsService(const ServerOptions& options, int& exitCode)
{
    CommandLineOptions = options;
    InitializeCriticalSection(&StatusLock);
    static char name[] = "ZorvaService";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table))
        return false;
    exitCode = ServiceExitCode;
    return true;
}

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, ServiceHandleCloser>;

// A server in a console has no service controls; it listens to named events
// instead, which exist only while it runs.
static bool SignalConsoleServer(DWORD control)
{
    const char* name = control == ServerControlHang ? ServerHangEventName
                       : control == ServerControlResume ? ServerResumeEventName
                                                        : nullptr;
    HANDLE event = name != nullptr ? OpenEventA(EVENT_MODIFY_STATE, FALSE, name) : nullptr;
    if (event == nullptr)
        return false;
    const BOOL set = SetEvent(event);
    CloseHandle(event);
    if (set)
        std::printf("set %s of the server running in a console\n", name);
    return set != FALSE;
}

int SendServiceControl(const std::string& what)
{
    DWORD control = 0;
    if (what == "hang") {
        control = ServerControlHang;
    } else if (what == "resume") {
        control = ServerControlResume;
    } else {
        char* end = nullptr;
        control = std::strtoul(what.c_str(), &end, 10);
        if (end == what.c_str() || *end != '\0' || control < 128 || control > 255) {
            Report("--control takes hang, resume or a code from 128 to 255");
            return ServerExitUsage;
        }
    }
    if (SignalConsoleServer(control))
        return 0;
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        Report("cannot open the service control manager, error %lu", GetLastError());
        return 1;
    }
    ServiceHandle service(OpenServiceA(manager.get(), ZorvaServiceName, SERVICE_USER_DEFINED_CONTROL));
    if (!service) {
        Report("cannot open the service %s, error %lu", ZorvaServiceName, GetLastError());
        return 1;
    }
    SERVICE_STATUS status = {};
    if (!ControlService(service.get(), control, &status)) {
        Report("control %lu to %s failed, error %lu", control, ZorvaServiceName, GetLastError());
        return 1;
    }
    std::printf("sent control %lu to %s\n", control, ZorvaServiceName);
    return 0;
}
