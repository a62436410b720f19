// Sends one message to the running watchdog's window from another process, as
// the system or an operator would: wdmsg close|queryendsession|endsession|copydata.
// Prints what the window procedure answered. `wdmsg find` only tells, by its
// exit code, whether the window exists.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: wdmsg find|close|queryendsession|endsession|copydata\n");
        return 2;
    }
    HWND window = FindWindowA("WD AsyncSelect", "Kelm WatchDog");
    const char* what = argv[1];
    if (window == nullptr) {
        if (std::strcmp(what, "find") != 0)
            std::fprintf(stderr, "wdmsg: no watchdog window\n");
        return 1;
    }
    if (std::strcmp(what, "find") == 0)
        return 0;
    LRESULT answer = 0;
    if (std::strcmp(what, "close") == 0) {
        answer = SendMessageA(window, WM_CLOSE, 0, 0);
    } else if (std::strcmp(what, "queryendsession") == 0) {
        answer = SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    } else if (std::strcmp(what, "endsession") == 0) {
        answer = SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    } else if (std::strcmp(what, "copydata") == 0) {
        char text[] = "anything at all";
        COPYDATASTRUCT data = {7, sizeof text, text};
        answer = SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    } else {
        std::fprintf(stderr, "wdmsg: unknown message %s\n", what);
        return 2;
    }
    std::printf("%ld\n", static_cast<long>(answer));
    return 0;
}
