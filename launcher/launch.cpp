#include "launch.h"

#include "paths.h"

#include <windows.h>

#include <string>

namespace {
const DWORD CommandLineSize = 520;

void ShowError(LPCWSTR text)
{
    MessageBoxW(nullptr, text, L"Error", MB_OK | MB_ICONERROR);
}
} // namespace

int RunLauncher()
{
    const std::string productDir = GetParentDir(GetModuleDir());
    if (productDir.empty()) {
        ShowError(L"No se pudo determinar la carpeta del programa.");
        return 0;
    }

    // Only a 32-bit process under WOW64 is told TRUE, which is how a 64-bit
    // Windows shows itself. A failed query leaves FALSE: the 32-bit build runs
    // everywhere.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    const char* build = wow64 == TRUE ? "Bin64\\dravik.exe" : "Bin32\\dravik.exe";

    // Quoted so that spaces in the product folder keep it one argument.
    // CreateProcessA may write into its command line, hence the buffer.
    const std::string command = "\"" + productDir + build + "\"";
    char commandLine[CommandLineSize] = {};
    command.copy(commandLine, CommandLineSize - 1);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        productDir.c_str(), &startup, &process)) {
        ShowError(L"Error al ejecutar el archivo.");
        return 0;
    }
    // The application runs on by itself; nothing to wait for.
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
}
