// Process fakes: toolhelp snapshot, OpenProcess/GetProcessTimes, system().
#include "fake_process.h"

#include "fake_kernel.h"
#include "fixture.h"

#include <tlhelp32.h>

#include <cstring>
#include <new>

namespace fake {
std::vector<ProcessEntry> processList;
bool snapshotFails = false;
std::map<DWORD, long long> processCreated;
std::vector<std::string> commands;
DWORD openProcessThrowsFor = 0;

namespace {
size_t cursor = 0;
int snapshotHandle;

const bool registered = OnReset([] {
    processList.clear();
    snapshotFails = false;
    processCreated.clear();
    commands.clear();
    openProcessThrowsFor = 0;
});

BOOL Fill(PROCESSENTRY32* entry)
{
    if (cursor >= processList.size())
        return FALSE;
    entry->th32ProcessID = processList[cursor].pid;
    std::strncpy(entry->szExeFile, processList[cursor].exeFile.c_str(), MAX_PATH - 1);
    ++cursor;
    return TRUE;
}
} // namespace
} // namespace fake

using namespace fake;

HANDLE CreateToolhelp32Snapshot(DWORD, DWORD)
{
    calls.push_back("CreateToolhelp32Snapshot");
    if (snapshotFails)
        return INVALID_HANDLE_VALUE;
    cursor = 0;
    return &snapshotHandle;
}

BOOL Process32First(HANDLE, PROCESSENTRY32* entry)
{
    cursor = 0;
    return Fill(entry);
}

BOOL Process32Next(HANDLE, PROCESSENTRY32* entry) { return Fill(entry); }

HANDLE OpenProcess(DWORD, BOOL, DWORD pid)
{
    calls.push_back("OpenProcess " + std::to_string(pid));
    if (pid != 0 && pid == openProcessThrowsFor)
        throw std::bad_alloc();
    if (processCreated.count(pid) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A kernel handle, so that the journal shows when it is closed and the
    // handle count whether it leaked.
    return NewHandle("process", std::to_string(pid));
}

BOOL GetProcessTimes(HANDLE process, LPFILETIME creation, LPFILETIME, LPFILETIME, LPFILETIME)
{
    calls.push_back("GetProcessTimes");
    const std::string pid = HandleName(process, "process");
    if (pid.empty() || processCreated.count(std::stoul(pid)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const unsigned long long ticks =
        static_cast<unsigned long long>(processCreated.at(std::stoul(pid)) + 11644473600LL) * 10000000ULL;
    creation->dwLowDateTime = static_cast<DWORD>(ticks);
    creation->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

// Takes the place of the C runtime's system() in the host tests: no command
// ever reaches a shell.
extern "C" int system(const char* command)
{
    commands.push_back(command == nullptr ? "" : command);
    calls.push_back("system");
    return 0;
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    static const char folder[] = "C:\\Windows\\system32";
    if (size < sizeof folder)
        return sizeof folder;
    std::memcpy(buffer, folder, sizeof folder);
    return sizeof folder - 1;
}
