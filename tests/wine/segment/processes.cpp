#include "processes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

std::string ThisExe()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

std::string BinDir()
{
    const std::string exe = ThisExe();
    return exe.substr(0, exe.find_last_of('\\') + 1);
}

Child::~Child()
{
    if (Running()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool Child::Running() const
{
    return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Child::WaitExit(DWORD timeoutMs, DWORD& exitCode)
{
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(info_.hProcess, &exitCode);
    return true;
}

static bool Launch(const std::string& exe, const std::string& args, STARTUPINFOA& startup, BOOL inherit,
                   PROCESS_INFORMATION& info)
{
    std::string commandLine = "\"" + exe + "\" " + args;
    return CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, inherit, 0, nullptr, nullptr, &startup,
                          &info) != FALSE;
}

std::unique_ptr<Child> StartChild(const std::string& exe, const std::string& args)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!Launch(exe, args, startup, FALSE, info)) {
        ADD_FAILURE() << "cannot start " << exe << ", error " << GetLastError();
        return nullptr;
    }
    return std::unique_ptr<Child>(new Child(info));
}

int RunCaptured(const std::string& exe, const std::string& args, std::string& output, DWORD timeoutMs)
{
    char folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "seg", 0, path);
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create a capture file, error " << GetLastError();
        return -1;
    }

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION info = {};
    if (!Launch(exe, args, startup, TRUE, info)) {
        ADD_FAILURE() << "cannot start " << exe << ", error " << GetLastError();
        CloseHandle(file);
        return -1;
    }
    Child child(info);
    DWORD exitCode = 0;
    const bool ended = child.WaitExit(timeoutMs, exitCode);

    output.clear();
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    CloseHandle(file);
    return ended ? static_cast<int>(exitCode) : -1;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(100);
    }
}

void WithinOrAbort(const char* what, DWORD timeoutMs, const std::function<void()>& work)
{
    std::packaged_task<void()> task(work);
    std::future<void> finished = task.get_future();
    std::thread(std::move(task)).detach();
    if (finished.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        std::fprintf(stderr, "FAIL: %s did not return within %lu ms\n", what, timeoutMs);
        std::fflush(stderr);
        ExitProcess(3);
    }
    finished.get();
}
