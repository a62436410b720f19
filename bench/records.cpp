#include "records.h"

#include <client_bloqs.h>

#include <segment/heartbeat.h>
#include <segment/segment.h>
#include <shell/log.h>

#include <windows.h>

#include <cstring>

void WriteFreshRecords(char* view, int clients)
{
    const std::string stamp = LocalStampText(UnixSecondsNow());
    const std::string server = BuildHeartbeatRecord(GetCurrentProcessId(), "SVR", stamp);
    std::memcpy(view, server.data(), server.size());
    for (int i = 0; i < clients; ++i) {
        const std::string client = BuildHeartbeatRecord(990000 + i, "CLI", stamp);
        std::memcpy(view + (FirstClientBloq + i) * BloqSize, client.data(), client.size());
    }
    WriteClientCount(view, clients);
}
