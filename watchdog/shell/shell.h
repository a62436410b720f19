// The watchdog's entry, single-instance rule, hidden window and timer.
#pragma once
#include <windows.h>

// Ticks of timer 1001 handled since the last sweep: 0 or 1 between messages.
extern int TimerTicks;

const UINT_PTR WatchdogTimerId = 1001;
const UINT WatchdogTimerPeriod = 30000;

// True only for the first process named exactly "tolvane.exe" in the system's
// process list, and only when that is this process.
bool IsFirstWatchdog();

// Heartbeat on every tick, sweep on every second one; close, log-off and
// shut-down end the program.
LRESULT CALLBACK WatchdogWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The whole program after the runtime's start-up; always returns 0.
int RunWatchdog(HINSTANCE instance);
