// floor_bench [ROUNDS]: the watchdog's two recurring jobs against their floor,
// the bare system calls they cannot do without, measured side by side:
//   - one sweep (checkPIDs) over a server record and 253 fresh client records
//     against 256 bare accesses: wait on the mutex, map the 10240 bytes, copy a
//     bloq, unmap, release;
//   - one log line (WriteLog) against a bare open, append and close of the
//     same bytes.
// Rounds alternate which of the two goes first; the medians are printed.
// Creates the segment itself; run it in a folder whose parent may receive
// Log.txt, in a Wine prefix where no other party uses the segment.
#include "records.h"

#include <segment_side.h>

#include <segment/segment.h>
#include <shell/log.h>
#include <sweep/sweep.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

static const int Clients = 253;
static const int FloorAccesses = 256;
static const int LinesPerSample = 20;
static const char* const LogPid = "123456";

static double Seconds(const std::function<void()>& work)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Where the floor copies each bloq to: outside the function, so that the
// copy, and with it the touch of the mapped page, cannot be optimised away.
char CopiedBloq[BloqSize];

// The protocol with nothing around it, on the watchdog's own handles.
static void BareAccesses()
{
    for (int i = 0; i < FloorAccesses; ++i) {
        WaitForSingleObject(SegmentMutexHandle, INFINITE);
        char* view = static_cast<char*>(MapViewOfFile(SegmentMappingHandle, FILE_MAP_WRITE, 0, 0, SegmentSize));
        std::memcpy(CopiedBloq, view + (i % BloqCount) * BloqSize, BloqSize);
        UnmapViewOfFile(view);
        ReleaseMutex(SegmentMutexHandle);
    }
}

static void BareAppends(const std::string& line)
{
    for (int i = 0; i < LinesPerSample; ++i) {
        HANDLE file = CreateFileA("..\\Log.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
        CloseHandle(file);
    }
}

static void LogLines()
{
    for (int i = 0; i < LinesPerSample; ++i)
        WriteLog(LOG_WARNING, "[WD] TASKKILL Pid: %s", LogPid);
}

static long long LogSize()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA("..\\Log.txt", GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Interleaved rounds of `a` and `b`, each first in every other round.
static void Compare(int rounds, const std::function<void()>& before, const std::function<void()>& a,
                    const std::function<void()>& b, std::vector<double>& timesA, std::vector<double>& timesB)
{
    for (int round = -1; round < rounds; ++round) { // round -1 warms up
        before();
        double ta, tb;
        if (round % 2 == 0) {
            ta = Seconds(a);
            tb = Seconds(b);
        } else {
            tb = Seconds(b);
            ta = Seconds(a);
        }
        if (round >= 0) {
            timesA.push_back(ta);
            timesB.push_back(tb);
        }
    }
}

// The ratio is the median of the rounds' own ratios: the two halves of a
// round ran moments apart, so a machine that gets busier or quieter during
// the run shifts both alike.
static void Print(const char* what, const std::vector<double>& times, const std::vector<double>& floors,
                  const char* floorWhat, const char* unit, double scale)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < times.size(); ++i)
        ratios.push_back(times[i] / floors[i]);
    std::printf("%-26s %9.3f %s   floor %9.3f %s (%s)   ratio %.2fx\n", what, Median(times) * scale, unit,
                Median(floors) * scale, unit, floorWhat, Median(ratios));
}

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 21;
    SegmentSide segment;
    bool existed = false;
    std::string error;
    if (!CreateSegment(segment, existed, error) || existed) {
        std::fprintf(stderr, "floor_bench: %s\n", existed ? "the segment exists already" : error.c_str());
        return 1;
    }
    OpenSharedMemory();
    if (SegmentMappingHandle == nullptr) {
        std::fprintf(stderr, "floor_bench: the watchdog's side could not open the segment\n");
        return 1;
    }
    // Stamped again before every round: a record must never age into a kill.
    const auto refresh = [&] {
        LockSegmentMutex(segment);
        WriteFreshRecords(segment.view, Clients);
        UnlockSegmentMutex(segment);
    };

    std::vector<double> sweeps, accesses;
    const long long logBefore = LogSize();
    Compare(rounds, refresh, checkPIDs, BareAccesses, sweeps, accesses);
    if (LogSize() != logBefore)
        std::printf("warning: the sweep wrote to the log, so it was not a quiet sweep\n");

    std::vector<double> lines, appends;
    std::string line;
    const auto stampLine = [&] {
        line = "[" + LocalStampText(UnixSecondsNow()) + "] WARNING: [WD] TASKKILL Pid: " + LogPid + "\r\n";
    };
    // A line is short next to a sweep: more rounds for the same steadiness.
    Compare(3 * rounds, stampLine, LogLines, [&] { BareAppends(line); }, lines, appends);

    std::printf("medians of %d (sweep) and %d (log line) interleaved rounds\n", rounds, 3 * rounds);
    Print("sweep, 253 fresh clients", sweeps, accesses, "256 bare accesses", "ms", 1e3);
    Print("log line", lines, appends, "open, append, close", "us", 1e6 / LinesPerSample);
    CloseSegment(segment);
    return 0;
}
