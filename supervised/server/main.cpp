// zorva-server: the reference server. Started by the service control manager
// as "ZorvaService", or in a console with --console.
#include "options.h"
#include "run.h"
#include "service.h"

#include <report.h>
#include <zorva_names.h>

#include <windows.h>

#include <cstdio>

static BOOL WINAPI ConsoleStop(DWORD)
{
    SetEvent(ServerStopEvent);
    return TRUE;
}

static void NoStateReports(DWORD, DWORD) {}

static std::string DefaultLogPath()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    return folder + "zorva-server.log";
}

int main(int argc, char** argv)
{
    SetReportProgram("zorva-server");
    ServerOptions options;
    std::string error;
    if (!ParseServerOptions(argc, argv, 1, options, error)) {
        std::fprintf(stderr, "zorva-server: %s\n%s", error.c_str(), ServerUsage);
        return ServerExitUsage;
    }
    if (!options.control.empty())
        return SendServiceControl(options.control);

    if (options.console) {
        SetReportFile(options.logPath);
        ServerStopEvent = CreateEventA(nullptr, TRUE, FALSE, ServerStopEventName);
        ServerHangEvent = CreateEventA(nullptr, FALSE, FALSE, ServerHangEventName);
        ServerResumeEvent = CreateEventA(nullptr, FALSE, FALSE, ServerResumeEventName);
        if (!ServerStopEvent || !ServerHangEvent || !ServerResumeEvent) {
            Report("cannot create the control events, error %lu", GetLastError());
            return ServerExitSegment;
        }
        SetConsoleCtrlHandler(ConsoleStop, TRUE);
        return RunServer(options, NoStateReports);
    }

    // A service has nobody reading its console: its messages go to a file.
    SetReportFile(options.logPath.empty() ? DefaultLogPath() : options.logPath);
    int exitCode = 0;
    if (RunAsService(options, exitCode))
        return exitCode;
    if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        std::fprintf(stderr,
                     "zorva-server: not started by the service control manager; register it with\n"
                     "  sc create %s binpath= \"<path>\\zorva-server.exe\"\n"
                     "or run it in this console with --console\n",
                     ZorvaServiceName);
        return ServerExitUsage;
    }
    Report("cannot start the service dispatcher, error %lu", GetLastError());
    return ServerExitSegment;
}
