#include "run.h"

#include <beat.h>
#include <client_bloqs.h>
#include <record_pid.h>
#include <report.h>
#include <segment_side.h>
#include <zorva_names.h>

#include <segment/heartbeat.h>
#include <segment/segment.h>
#include <shell/log.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

static SegmentSide Segment;
static HANDLE StopEvent = nullptr;
static HANDLE HangEvent = nullptr;
static HANDLE ResumeEvent = nullptr;
static HANDLE FinishedEvent = nullptr;

const DWORD SegmentRetryMs = 250;

static BOOL WINAPI ConsoleStop(DWORD type)
{
    SetEvent(StopEvent);
    // On a console close the process ends when this returns: give the main
    // thread the time to hand its bloq back.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(FinishedEvent, 5000);
    return TRUE;
}

static bool CreateEvents()
{
    const DWORD pid = GetCurrentProcessId();
    StopEvent = CreateEventA(nullptr, TRUE, FALSE, ClientEventName("Stop", pid).c_str());
    HangEvent = CreateEventA(nullptr, FALSE, FALSE, ClientEventName("Hang", pid).c_str());
    ResumeEvent = CreateEventA(nullptr, FALSE, FALSE, ClientEventName("Resume", pid).c_str());
    FinishedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return StopEvent && HangEvent && ResumeEvent && FinishedEvent;
}

// Waits for the server to create the segment; false on a real failure, on
// the time limit or when told to stop meanwhile.
static bool WaitForSegment(int waitSeconds, bool& stopped)
{
    stopped = false;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(waitSeconds) * 1000;
    bool told = false;
    for (;;) {
        bool missing = false;
        std::string error;
        if (OpenSegment(Segment, FILE_MAP_WRITE, missing, error))
            return true;
        if (!missing) {
            Report("%s", error.c_str());
            return false;
        }
        if (waitSeconds > 0 && GetTickCount64() >= deadline) {
            Report("the segment %s did not appear within %d s", SegmentMappingName, waitSeconds);
            return false;
        }
        if (!told) {
            Report("waiting for the server to create the segment %s", SegmentMappingName);
            told = true;
        }
        if (WaitForSingleObject(StopEvent, SegmentRetryMs) == WAIT_OBJECT_0) {
            stopped = true;
            return false;
        }
    }
}

// Writes a fresh record into the bloq the client took. A record that has gone
// (the watchdog clears the bloq of a client it judged dead) is written again:
// into the same bloq while it is still free, else into the lowest free one.
static int Heartbeat(int& bloq)
{
    const std::string record = BuildHeartbeatRecord(GetCurrentProcessId(), "CLI", LocalStampText(UnixSecondsNow()));
    if (!TakeSegmentMutex(Segment))
        return ClientExitLock;
    const bool had = bloq >= 0 && std::memcmp(Segment.view + bloq * BloqSize, record.data(), 10) == 0;
    const int now = CheckInClient(Segment.view, record, bloq);
    UnlockSegmentMutex(Segment);

    if (now < 0) {
        Report("no free bloq: bloqs %d to 255 are all in use", FirstClientBloq);
        return ClientExitNoBloq;
    }
    if (bloq < 0)
        std::printf("zorva-client: pid %lu in bloq %d\n", GetCurrentProcessId(), now);
    else if (!had)
        Report("the record in bloq %d was cleared; written again into bloq %d", bloq, now);
    std::fflush(stdout);
    bloq = now;
    return ClientExitOk;
}

static void GiveBloqBack(int bloq)
{
    const std::string pidTag = BuildHeartbeatRecord(GetCurrentProcessId(), "CLI", "").substr(0, 10);
    if (!TakeSegmentMutex(Segment))
        return;
    CheckOutClient(Segment.view, pidTag, bloq);
    UnlockSegmentMutex(Segment);
    std::printf("zorva-client: pid %lu gave its bloq back\n", GetCurrentProcessId());
    std::fflush(stdout);
}

static int Run(const ClientOptions& options)
{
    bool stopped = false;
    if (!WaitForSegment(options.waitSegmentSeconds, stopped))
        return stopped ? ClientExitOk : ClientExitSegment;

    // Even a client told to hang writes once: it plays one that wrote its
    // record and then stopped working.
    int bloq = -1;
    int result = Heartbeat(bloq);
    if (result != ClientExitOk)
        return result;
    bool heartbeating = !options.hang;
    if (!heartbeating)
        Report("told to hang: no heartbeat after the first");

    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(options.runForSeconds) * 1000;
    const HANDLE events[] = {StopEvent, HangEvent, ResumeEvent};
    for (;;) {
        DWORD timeout = options.intervalSeconds * 1000;
        if (options.runForSeconds > 0) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline)
                break;
            if (deadline - now < timeout)
                timeout = static_cast<DWORD>(deadline - now);
        }
        if (!WaitForBeat(events, timeout, heartbeating))
            break;
        if (heartbeating && (result = Heartbeat(bloq)) != ClientExitOk)
            return result;
    }
    GiveBloqBack(bloq);
    return ClientExitOk;
}

int RunClient(const ClientOptions& options)
{
    const std::string refusal = PidRefusal(GetCurrentProcessId());
    if (!refusal.empty()) {
        Report("%s", refusal.c_str());
        return ClientExitPid;
    }
    if (!CreateEvents()) {
        Report("cannot create the control events, error %lu", GetLastError());
        return ClientExitSegment;
    }
    SetConsoleCtrlHandler(ConsoleStop, TRUE);
    const int result = Run(options);
    CloseSegment(Segment);
    SetEvent(FinishedEvent);
    return result;
}

int SignalClient(const std::string& what, unsigned long pid)
{
    const char* tag = what == "stop" ? "Stop" : what == "hang" ? "Hang" : "Resume";
    const std::string name = ClientEventName(tag, pid);
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
    if (event == nullptr) {
        Report("no client with pid %lu (cannot open %s, error %lu)", pid, name.c_str(), GetLastError());
        return ClientExitSegment;
    }
    const BOOL set = SetEvent(event);
    CloseHandle(event);
    if (!set) {
        Report("cannot set %s, error %lu", name.c_str(), GetLastError());
        return ClientExitSegment;
    }
    return ClientExitOk;
}
