#include "shell.h"

#include "../segment/heartbeat.h"
#include "../sweep/sweep.h"
#include "log.h"

#include <tlhelp32.h>

#include <cstring>

int TimerTicks = 0;

bool IsFirstWatchdog()
{
    DWORD found = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32 entry;
        std::memset(&entry, 0, sizeof entry);
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            if (std::strcmp(entry.szExeFile, "tolvane.exe") == 0) {
                found = entry.th32ProcessID;
                break;
            }
        }
        CloseHandle(snapshot);
    }
    return found == GetCurrentProcessId();
}

static void OnTimer(HWND, WPARAM id)
{
    if (id != WatchdogTimerId)
        return;
    PingSharedMemory(1);
    if (++TimerTicks == 2) {
        checkPIDs();
        TimerTicks = 0;
    }
}

LRESULT CALLBACK WatchdogWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        if (SetTimer(window, WatchdogTimerId, WatchdogTimerPeriod, nullptr) == 0)
            WriteLog(LOG_ERROR, "[WD] Timer no creado");
        return 0;
    case WM_DESTROY:
        PingSharedMemory(0);
        KillTimer(window, WatchdogTimerId);
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_QUERYENDSESSION:
        WriteLog(LOG_INFO, "[WD] WM_LOGINOFF: %u", message);
        DestroyWindow(window);
        // TRUE: the watchdog never stands in the way of a log-off or shut-down.
        return TRUE;
    case WM_ENDSESSION:
        WriteLog(LOG_INFO, "[WD] WM_LOGINOFF: %u", message);
        DestroyWindow(window);
        return 0;
    case WM_COPYDATA:
        WriteLog(LOG_INFO, "[WD] WM_COPYDATA: %u", message);
        return 0;
    case WM_TIMER:
        OnTimer(window, wParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int RunWatchdog(HINSTANCE instance)
{
    if (!IsFirstWatchdog())
        return 0;
    // Published before any window exists.
    PingSharedMemory(1);

    WNDCLASSEXA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WatchdogWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "WD AsyncSelect";
    if (RegisterClassExA(&windowClass) == 0) {
        WriteLog(LOG_ERROR, "[WD] RegisterClassEx falló, error: %d", (int)GetLastError());
        return 0;
    }
    HWND window = CreateWindowExA(0, "WD AsyncSelect", "Kelm WatchDog", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 0;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);

    MSG msg;
    std::memset(&msg, 0, sizeof msg);
    // GetMessage gives -1 on an error: that ends the loop too, rather than
    // spinning on a broken queue.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
