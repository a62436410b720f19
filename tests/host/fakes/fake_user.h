// Control side of the window fakes: one window, a scripted message queue and
// scripted failures of class registration, window creation and the timer.
#pragma once
#include <windows.h>

#include <deque>

namespace fake {

extern std::deque<MSG> messages; // GetMessageA takes from the front; empty ends the loop
extern bool registerClassFails;  // fails with error 1410
extern bool createWindowFails;
extern bool setTimerFails;
extern WNDCLASSEXA registeredClass;
extern HWND window;              // the window CreateWindowExA made, or null
extern bool quitPosted;

void PostToWindow(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

} // namespace fake
