// Launcher fakes: module path, WOW64 query, process creation, message boxes.
#include "fake_launcher.h"

#include "fake_kernel.h"
#include "fixture.h"

#include <cstring>

namespace fake {

std::string modulePath;
DWORD moduleFileNameError = 0;
HMODULE moduleAsked = nullptr;
DWORD moduleBufferSize = 0;
BOOL wow64Result = TRUE;
bool wow64Writes = true;
BOOL wow64Answer = FALSE;
std::vector<ProcessStart> processStarts;
DWORD createProcessError = 0;
std::vector<MessageBox> messageBoxes;

namespace {
const DWORD ErrorInsufficientBuffer = 122;

void ResetLauncher()
{
    modulePath = "C:\\Prod\\Start\\pellmar.exe";
    moduleFileNameError = 0;
    moduleAsked = nullptr;
    moduleBufferSize = 0;
    wow64Result = TRUE;
    wow64Writes = true;
    wow64Answer = FALSE;
    processStarts.clear();
    createProcessError = 0;
    messageBoxes.clear();
}

const bool registered = OnReset(ResetLauncher);

} // namespace

} // namespace fake

using namespace fake;

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    calls.push_back("GetModuleFileNameA");
    moduleAsked = module;
    moduleBufferSize = size;
    if (moduleFileNameError != 0) {
        SetLastError(moduleFileNameError);
        return 0;
    }
    if (size == 0)
        return 0;
    if (modulePath.size() >= size) {
        std::memcpy(buffer, modulePath.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ErrorInsufficientBuffer);
        return size;
    }
    std::memcpy(buffer, modulePath.c_str(), modulePath.size() + 1);
    return static_cast<DWORD>(modulePath.size());
}

BOOL IsWow64Process(HANDLE, PBOOL wow64)
{
    calls.push_back("IsWow64Process");
    if (wow64Writes)
        *wow64 = wow64Answer;
    return wow64Result;
}

BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startup,
                    LPPROCESS_INFORMATION info)
{
    calls.push_back("CreateProcessA");
    ProcessStart start{};
    start.applicationNull = application == nullptr;
    if (commandLine != nullptr) {
        start.commandLine = commandLine;
        // Windows may write into the command line while it parses it.
        const char first = commandLine[0];
        commandLine[0] = 'X';
        commandLine[0] = first;
    }
    start.processAttributesNull = processAttributes == nullptr;
    start.threadAttributesNull = threadAttributes == nullptr;
    start.inherit = inherit;
    start.flags = flags;
    start.environmentNull = environment == nullptr;
    start.currentDirectoryNull = currentDirectory == nullptr;
    if (currentDirectory != nullptr)
        start.currentDirectory = currentDirectory;
    start.startupSize = startup->cb;
    const STARTUPINFOA& s = *startup;
    start.startupRestZero = !s.lpReserved && !s.lpDesktop && !s.lpTitle && !s.dwX && !s.dwY &&
                            !s.dwXSize && !s.dwYSize && !s.dwXCountChars && !s.dwYCountChars &&
                            !s.dwFillAttribute && !s.dwFlags && !s.wShowWindow && !s.cbReserved2 &&
                            !s.lpReserved2 && !s.hStdInput && !s.hStdOutput && !s.hStdError;
    processStarts.push_back(start);

    if (createProcessError != 0) {
        SetLastError(createProcessError);
        return FALSE;
    }
    info->hProcess = NewHandle("process", "dravik");
    info->hThread = NewHandle("thread", "dravik");
    info->dwProcessId = 1000;
    info->dwThreadId = 1004;
    return TRUE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    calls.push_back("MessageBoxW");
    messageBoxes.push_back({owner, text ? text : L"", caption ? caption : L"", type});
    return 1; // IDOK
}
