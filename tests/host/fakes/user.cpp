// Window fakes: a single window whose procedure runs synchronously, a message
// queue that tests fill, timers that are only recorded.
#include "fake_user.h"

#include "fake_kernel.h"
#include "fixture.h"

#include <string>

namespace fake {
std::deque<MSG> messages;
bool registerClassFails = false;
bool createWindowFails = false;
bool setTimerFails = false;
WNDCLASSEXA registeredClass;
HWND window = nullptr;
bool quitPosted = false;

namespace {
int windowObject;

const bool registered = OnReset([] {
    messages.clear();
    registerClassFails = createWindowFails = setTimerFails = quitPosted = false;
    registeredClass = WNDCLASSEXA{};
    window = nullptr;
});
} // namespace

void PostToWindow(UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = reinterpret_cast<HWND>(&windowObject);
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    messages.push_back(msg);
}
} // namespace fake

using namespace fake;

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass)
{
    calls.push_back("RegisterClassExA");
    if (registerClassFails) {
        SetLastError(1410);
        return 0;
    }
    registeredClass = *windowClass;
    return 1;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR title, DWORD style, int, int, int, int, HWND, HMENU,
                     HINSTANCE, LPVOID)
{
    calls.push_back(std::string("CreateWindowExA ") + className + "|" + title + "|" + std::to_string(style));
    if (createWindowFails)
        return nullptr;
    window = reinterpret_cast<HWND>(&windowObject);
    registeredClass.lpfnWndProc(window, WM_CREATE, 0, 0);
    return window;
}

BOOL ShowWindow(HWND, int show)
{
    calls.push_back("ShowWindow " + std::to_string(show));
    return TRUE;
}

BOOL UpdateWindow(HWND)
{
    calls.push_back("UpdateWindow");
    return TRUE;
}

BOOL DestroyWindow(HWND w)
{
    calls.push_back("DestroyWindow");
    registeredClass.lpfnWndProc(w, WM_DESTROY, 0, 0);
    window = nullptr;
    return TRUE;
}

BOOL GetMessageA(LPMSG msg, HWND, UINT, UINT)
{
    if (messages.empty())
        return 0;
    *msg = messages.front();
    messages.pop_front();
    return msg->message == 0x0012 /* WM_QUIT */ ? 0 : 1;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg)
{
    return registeredClass.lpfnWndProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int)
{
    calls.push_back("PostQuitMessage");
    quitPosted = true;
    MSG quit{};
    quit.message = 0x0012;
    messages.push_front(quit);
}

LRESULT DefWindowProcA(HWND, UINT message, WPARAM, LPARAM)
{
    calls.push_back("DefWindowProcA " + std::to_string(message));
    return 0;
}

UINT_PTR SetTimer(HWND, UINT_PTR id, UINT milliseconds, TIMERPROC)
{
    calls.push_back("SetTimer " + std::to_string(id) + " " + std::to_string(milliseconds));
    return setTimerFails ? 0 : id;
}

BOOL KillTimer(HWND, UINT_PTR id)
{
    calls.push_back("KillTimer " + std::to_string(id));
    return TRUE;
}
