#include "segment.h"

#include "../shell/log.h"

#include <cstring>

HANDLE SegmentMutexHandle = nullptr;
HANDLE SegmentMappingHandle = nullptr;

void OpenSharedMemory()
{
    // Runs at every heartbeat while the mapping is missing: the handle of the
    // previous run goes, or each run would leak one.
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\KelmMemMutex");
    if (SegmentMutexHandle != nullptr)
        CloseHandle(SegmentMutexHandle);
    SegmentMutexHandle = mutex;
    if (SegmentMutexHandle == nullptr) {
        WriteLog(LOG_ERROR, "[WD] CreateMutex en OpenSharedMemory, error: %d", (int)GetLastError());
        return;
    }
    SegmentMappingHandle = OpenFileMappingA(FILE_MAP_WRITE, FALSE, "Global\\KelmMem");
    if (SegmentMappingHandle == nullptr)
        WriteLog(LOG_ERROR, "[WD] Could not create file mapping object, error: %d", (int)GetLastError());
}

SegmentAccess AccessSharedMemory(const char* mapFailureMessage,
                                 const std::function<void(char* view)>& copy)
{
    if (SegmentMappingHandle == nullptr)
        return AccessNoMapping;
    // No time limit, and WAIT_ABANDONED counts as owning the mutex: the
    // segment's bytes are still whole, only their last writer died.
    WaitForSingleObject(SegmentMutexHandle, INFINITE);
    char* view = static_cast<char*>(MapViewOfFile(SegmentMappingHandle, FILE_MAP_WRITE, 0, 0, SegmentSize));
    if (view == nullptr) {
        const DWORD error = GetLastError();
        WriteLog(LOG_ERROR, mapFailureMessage, (int)error);
        CloseHandle(SegmentMappingHandle);
        SegmentMappingHandle = nullptr;
        ReleaseMutex(SegmentMutexHandle);
        return AccessMapFailed;
    }
    copy(view);
    UnmapViewOfFile(view);
    ReleaseMutex(SegmentMutexHandle);
    return AccessDone;
}

static bool IsValidBloq(int index)
{
    return index >= 0 && index < BloqCount;
}

std::string ReadBloqFromSharedMemory(int index)
{
    if (!IsValidBloq(index)) {
        WriteLog(LOG_ERROR, "ReadBloqFromSharedMemory: offset %d fuera de rango", index);
        return "";
    }
    std::string bloq(BloqSize, '\0');
    const SegmentAccess result = AccessSharedMemory("Could not map view of file read, error: %d",
        [&](char* view) { bloq.assign(view + index * BloqSize, BloqSize); });
    return result == AccessMapFailed ? "" : bloq;
}

int ClearBloqSharedMemory(int index)
{
    if (!IsValidBloq(index)) {
        WriteLog(LOG_ERROR, "[WD] Offset out of range in ClearBloqSharedMemory");
        return 0;
    }
    const SegmentAccess result = AccessSharedMemory("[WD] Could not map view of file write, error: %d",
        [&](char* view) { std::memset(view + index * BloqSize, 0, BloqSize); });
    return result == AccessDone ? 1 : 0;
}

std::string ReadClientCountField()
{
    std::string count(ClientCountSize, '\0');
    const SegmentAccess result = AccessSharedMemory("[WD] Could not map view of file read, error: %d",
        [&](char* view) { count.assign(view + ClientCountOffset, ClientCountSize); });
    return result == AccessMapFailed ? "" : count;
}
