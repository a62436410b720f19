#include "segment.h"
#include "heartbeat.h"

#include "../shell/log.h"

#include <cstring>

void PingSharedMemory(int mode)
{
    if (SegmentMappingHandle == nullptr) {
        OpenSharedMemory();
        if (SegmentMappingHandle == nullptr) {
            WriteLog(LOG_ERROR, "Memoria compartida no disponible");
            return;
        }
    }
    if (mode == 0) {
        ClearBloqSharedMemory(1);
        return;
    }
    // Built before the mutex is taken, so that the lock covers only the copy.
    const std::string record = BuildHeartbeatRecord(GetCurrentProcessId(), "WDG", LocalStampText(UnixSecondsNow()));
    const SegmentAccess result = AccessSharedMemory("[WD] Could not map view of file write, error: %d",
        [&](char* view) { std::memcpy(view + BloqSize, record.data(), record.size()); });
    if (result == AccessMapFailed)
        WriteLog(LOG_ERROR, "Error escribiendo en memoria compartida");
}
