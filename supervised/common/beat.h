// The reference programs' heartbeat pace: wait one interval, or less when told
// to stop, hang or resume.
#pragma once
#include <windows.h>

// Waits up to `timeout` ms on the stop, hang and resume events, in that order.
// Hang and resume switch `heartbeating` and are reported. False when told to
// stop.
bool WaitForBeat(const HANDLE (&events)[3], DWORD timeout, bool& heartbeating);
