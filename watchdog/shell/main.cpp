// tolvane.exe: the watchdog. A hidden window and its 30-second timer drive the
// heartbeat and, once a minute, the liveness sweep.
#include "shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunWatchdog(instance);
}
