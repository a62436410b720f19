// Runs the watchdog's service control in the current folder, so that its log
// lands in ../Log.txt: each argument is one step, "stop", "start" or
// "dependents" (StopDependents with the slots opened as StopSvc opens them,
// printing the result and what the enumeration answered). "hold" waits while
// the file "hold" exists in the current folder: Wine ends its service manager,
// and the services with it, once no ordinary process is left in the prefix.
#include "service/service.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

static int Dependents()
{
    SvcManagerHandle = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SvcHandle = OpenServiceA(SvcManagerHandle, SvcName, SERVICE_STOP | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_QUERY_STATUS);
    if (SvcManagerHandle == nullptr || SvcHandle == nullptr) {
        std::printf("open failed: %lu\n", GetLastError());
        return 1;
    }
    DWORD needed = 12345;
    DWORD count = 12345;
    SetLastError(0);
    const BOOL listed = EnumDependentServicesA(SvcHandle, SERVICE_ACTIVE, nullptr, 0, &needed, &count);
    std::printf("enum %d error %lu needed %lu count %lu\n", listed, GetLastError(), needed, count);
    std::printf("StopDependents %d\n", StopDependents());
    CloseServiceHandle(SvcHandle);
    CloseServiceHandle(SvcManagerHandle);
    return 0;
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const DWORD begin = GetTickCount();
        if (std::strcmp(argv[i], "stop") == 0)
            StopSvc();
        else if (std::strcmp(argv[i], "start") == 0)
            StartSvc();
        else if (std::strcmp(argv[i], "dependents") == 0)
            Dependents();
        else if (std::strcmp(argv[i], "hold") == 0) {
            while (GetFileAttributesA("hold") != INVALID_FILE_ATTRIBUTES)
                Sleep(200);
        }
        else {
            std::printf("unknown step %s\n", argv[i]);
            return 2;
        }
        std::printf("%s took %lu ms\n", argv[i], GetTickCount() - begin);
        std::fflush(stdout);
    }
    return 0;
}
