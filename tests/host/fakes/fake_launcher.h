// Control side of the launcher's fakes: its own module path, the WOW64 answer,
// process creation and message boxes. Each call is also noted in fake::calls.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace fake {

// GetModuleFileNameA reports this path. A path that does not fit the caller's
// buffer is cut to size - 1 characters and the buffer size is returned, as
// Windows does. A nonzero moduleFileNameError makes the call fail with it.
extern std::string modulePath;
extern DWORD moduleFileNameError;
// What the last GetModuleFileNameA call was given.
extern HMODULE moduleAsked;
extern DWORD moduleBufferSize;

// IsWow64Process returns wow64Result and, when wow64Writes, stores wow64Answer.
extern BOOL wow64Result;
extern bool wow64Writes;
extern BOOL wow64Answer;

// One CreateProcessA call, as the fake saw it.
struct ProcessStart {
    bool applicationNull;
    std::string commandLine;
    bool processAttributesNull;
    bool threadAttributesNull;
    BOOL inherit;
    DWORD flags;
    bool environmentNull;
    bool currentDirectoryNull;
    std::string currentDirectory;
    DWORD startupSize;
    bool startupRestZero; // every STARTUPINFOA field but the size is zero
};
extern std::vector<ProcessStart> processStarts;
// Nonzero: CreateProcessA fails with this code. Otherwise it hands out two
// kernel handles (see fake::OpenHandleCount) for the process and the thread.
extern DWORD createProcessError;

struct MessageBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};
extern std::vector<MessageBox> messageBoxes;

} // namespace fake
