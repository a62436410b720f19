// The protocol tests, plus helper modes in which this program plays another
// party (a process that dies holding the mutex, one that holds the log open).
#include <segment_side.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void SignalReady(const char* eventName)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName);
    if (ready != nullptr)
        SetEvent(ready);
}

// --hold-mutex exit|wait READY: takes the segment mutex and never releases it.
int HoldMutex(const std::string& how, const char* readyEvent)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, SegmentMutexName);
    if (mutex == nullptr || WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0)
        return 1;
    SignalReady(readyEvent);
    if (how == "wait")
        Sleep(INFINITE);
    ExitProcess(0); // the mutex goes with the process: abandoned
}

// --hold-file PATH READY DONE: keeps the file open for reading and writing,
// letting others read and write too, until DONE is set.
int HoldFile(const char* path, const char* readyEvent, const char* doneEvent)
{
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, doneEvent);
    SignalReady(readyEvent);
    WaitForSingleObject(done, 30000);
    CloseHandle(file);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--hold-mutex") == 0)
        return HoldMutex(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "--hold-file") == 0)
        return HoldFile(argv[2], argv[3], argv[4]);
    // Keeps a user process alive: Wine ends its services when none is left.
    if (argc == 3 && std::strcmp(argv[1], "--idle") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
