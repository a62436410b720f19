#include "run.h"

#include <beat.h>
#include <client_bloqs.h>
#include <report.h>
#include <segment_side.h>

#include <segment/heartbeat.h>
#include <segment/segment.h>
#include <shell/log.h>

#include <cstring>

HANDLE ServerStopEvent = nullptr;
HANDLE ServerHangEvent = nullptr;
HANDLE ServerResumeEvent = nullptr;

static SegmentSide Segment;

// The pending phases report a check point this often, so that a slow start or
// stop still shows progress within its wait hint.
const DWORD PendingStepMs = 500;

static bool WriteServerRecord()
{
    // Built before the lock, so that the mutex covers only the copy.
    const std::string record = BuildHeartbeatRecord(GetCurrentProcessId(), "SVR", LocalStampText(UnixSecondsNow()));
    if (!TakeSegmentMutex(Segment))
        return false;
    std::memcpy(Segment.view, record.data(), BloqSize);
    // A client the watchdog killed at the top of the table leaves the count
    // too high; shrinking it here keeps it right even when no client is left
    // to do it. Records are never moved.
    TidyClientBloqs(Segment.view);
    UnlockSegmentMutex(Segment);
    return true;
}

// Only our own record: a second server started by mistake must not wipe the
// record of the one that runs.
static void ClearServerRecord()
{
    const std::string pidTag = BuildHeartbeatRecord(GetCurrentProcessId(), "SVR", "").substr(0, 10);
    if (!TakeSegmentMutex(Segment))
        return;
    if (std::memcmp(Segment.view, pidTag.data(), pidTag.size()) == 0)
        std::memset(Segment.view, 0, BloqSize);
    UnlockSegmentMutex(Segment);
}

// A slow start or stop, played with rising check points.
static void PendingDelay(ServerStateReporter reportState, DWORD state, int delayMs)
{
    for (int waited = 0; waited < delayMs; waited += PendingStepMs) {
        reportState(state, 2 * PendingStepMs);
        Sleep(PendingStepMs);
    }
}

static bool HangFileExists(const ServerOptions& options)
{
    return !options.hangFile.empty() && GetFileAttributesA(options.hangFile.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RunServer(const ServerOptions& options, ServerStateReporter reportState)
{
    reportState(SERVICE_START_PENDING, 2 * PendingStepMs);
    bool existed = false;
    std::string error;
    if (!CreateSegment(Segment, existed, error)) {
        Report("%s", error.c_str());
        return ServerExitSegment;
    }
    Report(existed ? "opened the existing segment %s" : "created the segment %s", SegmentMappingName);
    PendingDelay(reportState, SERVICE_START_PENDING, options.startDelayMs);

    // Even a server told to hang writes once, so that there is a record to
    // go stale. One hung by its hang file writes nothing: the record an
    // earlier server left stays as it is, and so does the watchdog's verdict.
    const bool hungFromStart = HangFileExists(options);
    if (!hungFromStart && !WriteServerRecord()) {
        CloseSegment(Segment);
        return ServerExitLock;
    }
    bool heartbeating = !options.hang && !hungFromStart;
    Report("running, pid %lu, heartbeat every %d s%s", GetCurrentProcessId(), options.intervalSeconds,
           heartbeating ? "" : hungFromStart ? ", hang file present: no heartbeat at all"
                                             : ", told to hang: no heartbeat after the first");
    reportState(SERVICE_RUNNING, 0);

    int exitCode = ServerExitOk;
    const HANDLE events[] = {ServerStopEvent, ServerHangEvent, ServerResumeEvent};
    for (;;) {
        if (!WaitForBeat(events, options.intervalSeconds * 1000, heartbeating))
            break;
        if (heartbeating && HangFileExists(options)) {
            heartbeating = false;
            Report("hang file present: heartbeat stopped, still running");
        }
        if (heartbeating && !WriteServerRecord()) {
            exitCode = ServerExitLock;
            break;
        }
    }

    reportState(SERVICE_STOP_PENDING, 2 * PendingStepMs);
    // A hung server cannot tidy up: its stale record stays for the watchdog.
    if (heartbeating)
        ClearServerRecord();
    PendingDelay(reportState, SERVICE_STOP_PENDING, options.stopDelayMs);
    CloseSegment(Segment);
    Report(exitCode == ServerExitOk ? "stopped" : "stopped after a failure");
    return exitCode;
}
