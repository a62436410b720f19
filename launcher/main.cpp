// pellmar: starts the right build of the desktop application and exits.
#include "launch.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return RunLauncher();
}
