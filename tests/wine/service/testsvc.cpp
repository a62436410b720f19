// A service whose start and stop behave as the test asks. At each start it
// reads "behaviour.txt" beside its executable, e.g. "start=quick stop=slow:4000":
//   start=quick       running at once
//   start=slow:MS     start-pending, check point rising every 250 ms for MS ms
//                     (wait hint 1000), then running
//   start=fail        start-pending for 300 ms, then stopped with exit code 1066
//   start=stall       start-pending for ever, check point 1, wait hint 2000
//   stop=quick        stop-pending (wait hint 200), then stopped at once
//   stop=slow:MS      stop-pending, check point rising every 250 ms for MS ms
//                     (wait hint 2000), then stopped
//   stop=hang         stop-pending for ever, check point 1, wait hint 1000
//   stop=deaf:MS      the control handler answers only after MS ms, then stops
//   stophint=MS       every stop-pending report carries this wait hint instead
//                     (4294967295: INFINITE)
// It writes its process id to "pid.txt" and what it did to "trace.txt".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status;
HANDLE stopEvent;
std::string folder;
std::string startMode = "quick";
std::string stopMode = "quick";
DWORD startMs = 0;
DWORD stopMs = 0;
std::string stopHint; // empty: the stop mode's own hint

void Trace(const char* format, ...)
{
    FILE* file = std::fopen((folder + "trace.txt").c_str(), "a");
    if (file == nullptr)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputc('\n', file);
    std::fclose(file);
}

void Report(DWORD state, DWORD checkPoint, DWORD waitHint, DWORD exitCode = NO_ERROR)
{
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = exitCode == ERROR_SERVICE_SPECIFIC_ERROR ? 7 : 0;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
    Trace("state %lu cp %lu hint %lu exit %lu", state, checkPoint, waitHint, exitCode);
}

// "name:ms" -> name, ms.
void Split(const std::string& word, std::string& mode, DWORD& ms)
{
    const size_t colon = word.find(':');
    mode = word.substr(0, colon);
    ms = colon == std::string::npos ? 0 : static_cast<DWORD>(std::strtoul(word.c_str() + colon + 1, nullptr, 10));
}

void ReadBehaviour()
{
    FILE* file = std::fopen((folder + "behaviour.txt").c_str(), "r");
    if (file == nullptr)
        return;
    char word[64];
    while (std::fscanf(file, "%63s", word) == 1) {
        if (std::strncmp(word, "start=", 6) == 0)
            Split(word + 6, startMode, startMs);
        else if (std::strncmp(word, "stop=", 5) == 0)
            Split(word + 5, stopMode, stopMs);
        else if (std::strncmp(word, "stophint=", 9) == 0)
            stopHint = word + 9;
    }
    std::fclose(file);
}

// Pending for `ms` with a check point that rises every 250 ms.
void Rise(DWORD state, DWORD ms, DWORD waitHint)
{
    DWORD checkPoint = 1;
    for (DWORD spent = 0; spent < ms; spent += 250) {
        Report(state, checkPoint++, waitHint);
        Sleep(250);
    }
}

DWORD StopHint(DWORD modeHint)
{
    return stopHint.empty() ? modeHint : static_cast<DWORD>(std::strtoul(stopHint.c_str(), nullptr, 10));
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID)
{
    if (control == SERVICE_CONTROL_INTERROGATE)
        return NO_ERROR;
    if (control != SERVICE_CONTROL_STOP)
        return ERROR_CALL_NOT_IMPLEMENTED;
    Trace("stop control, mode %s", stopMode.c_str());
    if (stopMode == "deaf")
        Sleep(stopMs);
    Report(SERVICE_STOP_PENDING, 1, StopHint(stopMode == "hang" ? 1000 : stopMode == "quick" ? 200 : 2000));
    SetEvent(stopEvent);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    statusHandle = RegisterServiceCtrlHandlerExA("ZorvaService", Handler, nullptr);
    ReadBehaviour();
    Trace("start in process %lu, mode %s/%s", GetCurrentProcessId(), startMode.c_str(), stopMode.c_str());
    if (startMode == "fail") {
        Report(SERVICE_START_PENDING, 1, 2000);
        Sleep(300);
        Report(SERVICE_STOPPED, 0, 0, ERROR_SERVICE_SPECIFIC_ERROR);
        return;
    }
    if (startMode == "stall") {
        Report(SERVICE_START_PENDING, 1, 2000);
        Sleep(INFINITE);
    }
    if (startMode == "slow")
        Rise(SERVICE_START_PENDING, startMs, 1000);
    Report(SERVICE_RUNNING, 0, 0);

    WaitForSingleObject(stopEvent, INFINITE);
    if (stopMode == "hang")
        Sleep(INFINITE);
    if (stopMode == "slow")
        Rise(SERVICE_STOP_PENDING, stopMs, StopHint(2000));
    Report(SERVICE_STOPPED, 0, 0);
}

} // namespace

int main()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    folder.assign(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (FILE* file = std::fopen((folder + "pid.txt").c_str(), "w")) {
        std::fprintf(file, "%lu\n", GetCurrentProcessId());
        std::fclose(file);
    }
    char name[] = "ZorvaService";
    const SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) {
        Trace("dispatcher failed: %lu", GetLastError());
        return 1;
    }
    Trace("dispatcher returned in process %lu", GetCurrentProcessId());
    return 0;
}
