// wd_soak: the watchdog's heartbeat and sweep called back to back, on real
// kernel objects, against the reference server (the service) and clients,
// while chaos strikes: a process that dies holding the segment mutex, one that
// holds Log.txt open exclusively, a squeezed address space in which no view can
// be mapped, and an outage in which every other party leaves, the mapping goes
// away and the server creates it anew. Hung clients that it starts are killed
// by the sweep once stale; healthy ones never are. Prints handles and memory
// after warm-up and at the end.
//
//   wd_soak --sweeps N --seconds S --seed X   (run in a folder whose parent takes Log.txt)
//   wd_soak --chaos-mutex | --chaos-log MS    (the chaos processes)
//   wd_soak --keep MS                         (keeps Wine's services alive, holding nothing)
#include "segment/heartbeat.h"
#include "segment/segment.h"
#include "service/service.h"
#include "sweep/sweep.h"

#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Child {
    HANDLE process;
    DWORD pid;
    ULONGLONG started;
};

std::string Bin;
std::mt19937 Rng;
ULONGLONG Start;
std::vector<Child> Healthy, Hung;
int Kills = 0, Faults[4] = {}; // abandoned mutex, log held, view squeezed, outage
const char* const FaultNames[] = {"mutex abandoned", "Log.txt held exclusively", "no view could be mapped",
                                  "mapping gone and back"};
HANDLE LogHolder = nullptr;

double Elapsed() { return (GetTickCount64() - Start) / 1000.0; }

[[noreturn]] void Fail(const char* what, unsigned long detail = 0)
{
    std::printf("FAIL: %s %lu (at %.1f s)\n", what, detail, Elapsed());
    std::fflush(stdout);
    for (const Child& c : Healthy)
        TerminateProcess(c.process, 9);
    for (const Child& c : Hung)
        TerminateProcess(c.process, 9);
    std::exit(1);
}

Child Spawn(const std::string& commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info))
        Fail("cannot start a process, error", GetLastError());
    CloseHandle(info.hThread);
    return {info.hProcess, info.dwProcessId, GetTickCount64()};
}

bool Running(const Child& c) { return WaitForSingleObject(c.process, 0) == WAIT_TIMEOUT; }

std::string Client(const char* options) { return "\"" + Bin + "\\zorva-client.exe\" --interval 2 " + options; }

// A client's clean exit: its stop event, then its bloq is given back.
void StopClient(const Child& c)
{
    HANDLE stop = OpenEventA(EVENT_MODIFY_STATE, FALSE, ("Local\\ZorvaClientStop." + std::to_string(c.pid)).c_str());
    if (stop != nullptr) {
        SetEvent(stop);
        CloseHandle(stop);
    }
    if (WaitForSingleObject(c.process, 20000) != WAIT_OBJECT_0)
        TerminateProcess(c.process, 9);
    CloseHandle(c.process);
}

struct Figures {
    unsigned long handles = 0;
    unsigned long workingSetKb = 0;
    unsigned long privateKb = 0;
};

// GetProcessHandleCount and PrivateUsage are stubs under Wine; the native
// process list carries the real counts.
Figures Measure()
{
    static std::vector<char> buffer(1 << 20);
    ULONG size = 0;
    Figures f;
    if (NtQuerySystemInformation(SystemProcessInformation, buffer.data(), buffer.size(), &size) != 0)
        return f;
    for (size_t at = 0;;) {
        const auto* p = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
        if (reinterpret_cast<uintptr_t>(p->UniqueProcessId) == GetCurrentProcessId()) {
            f.handles = p->HandleCount;
            f.workingSetKb = p->VirtualMemoryCounters.WorkingSetSize / 1024;
            f.privateKb = p->VirtualMemoryCounters.PagefileUsage / 1024;
            return f;
        }
        if (p->NextEntryOffset == 0)
            return f;
        at += p->NextEntryOffset;
    }
}

// Takes every free piece of address space, so that the next view cannot be
// mapped; the heap is grown first so that the log writer still finds memory.
std::vector<void*> Squeeze()
{
    std::vector<void*> taken;
    taken.reserve(100000);
    for (SIZE_T size = SIZE_T(1) << 30; size >= 64 * 1024;) {
        void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
        if (block != nullptr && taken.size() < taken.capacity())
            taken.push_back(block);
        else
            size /= 2;
    }
    return taken;
}

void Release(const std::vector<void*>& taken)
{
    for (void* block : taken)
        VirtualFree(block, 0, MEM_RELEASE);
}

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        ++n;
    return n;
}

std::string LogText()
{
    std::ifstream file("..\\Log.txt", std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// Hung clients end when the sweep kills them: never before their record is
// stale, and within a few sweeps after.
void CheckChildren(std::vector<int>& killedPids)
{
    for (const Child& c : Healthy)
        if (!Running(c))
            Fail("a healthy client ended, pid", c.pid);
    for (size_t i = 0; i < Hung.size();) {
        const double age = (GetTickCount64() - Hung[i].started) / 1000.0;
        if (Running(Hung[i])) {
            if (age > 91 + 60)
                Fail("a hung client outlived its stale record, pid", Hung[i].pid);
            ++i;
            continue;
        }
        if (age < 90)
            Fail("a client was killed before its record was stale, pid", Hung[i].pid);
        ++Kills;
        killedPids.push_back(static_cast<int>(Hung[i].pid));
        CloseHandle(Hung[i].process);
        Hung.erase(Hung.begin() + static_cast<long>(i));
    }
}

void Outage()
{
    // Everyone else leaves: the service stops, every client ends.
    StopSvc();
    for (const Child& c : Healthy)
        StopClient(c);
    for (const Child& c : Hung)
        StopClient(c);
    Healthy.clear();
    Hung.clear();
    // The watchdog's own handle is the last one; a view it cannot map drops it.
    const std::vector<void*> taken = Squeeze();
    PingSharedMemory(1);
    Release(taken);
    PingSharedMemory(1);
    if (SegmentMappingHandle != nullptr)
        Fail("the mapping outlived every handle");
    checkPIDs();
    StartSvc();
    for (int i = 0; i < 200 && SegmentMappingHandle == nullptr; ++i) {
        Sleep(100);
        PingSharedMemory(1);
    }
    if (SegmentMappingHandle == nullptr)
        Fail("the restarted server's mapping was not opened");
    Healthy = {Spawn(Client("")), Spawn(Client(""))};
    ++Faults[3];
}

int Chaos(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--chaos-mutex") == 0) {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Global\\KelmMemMutex");
        if (mutex == nullptr || WaitForSingleObject(mutex, 30000) == WAIT_TIMEOUT)
            return 1;
        ExitProcess(0); // dies holding it
    }
    if (argc >= 3 && std::strcmp(argv[1], "--chaos-log") == 0) {
        HANDLE log = CreateFileA("..\\Log.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        CloseHandle(log);
        return log == INVALID_HANDLE_VALUE ? 1 : 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--keep") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int chaos = Chaos(argc, argv);
    if (chaos >= 0)
        return chaos;
    int sweeps = 1000, seconds = 240;
    unsigned seed = GetTickCount();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--sweeps")
            sweeps = std::atoi(argv[i + 1]);
        else if (arg == "--seconds")
            seconds = std::atoi(argv[i + 1]);
        else if (arg == "--seed")
            seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 0));
    }
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    Bin = self;
    Bin.resize(Bin.rfind('\\'));
    Rng.seed(seed);
    std::printf("soak: seed %u, at least %d sweeps and %d s\n", seed, sweeps, seconds);
    std::fflush(stdout);

    {
        // Heap for the log writer while the address space is squeezed.
        std::vector<std::string> grow(64, std::string(32 * 1024, 'x'));
    }
    Start = GetTickCount64();
    PingSharedMemory(1);
    if (SegmentMappingHandle == nullptr)
        Fail("the server's segment is missing");
    Healthy = {Spawn(Client("")), Spawn(Client(""))};
    ULONGLONG lastHung = 0;
    double nextOutage = 100; // after the first hung client was killed
    // Warm-up ends a few seconds after the first outage: by then every kind of
    // fault, a kill and a service restart have happened once, and the memory
    // they take the first time (Wine's service-manager and process plumbing)
    // is in place. From there on the figures must stay flat.
    double warmUpAt = 1e9, nextSample = 1e9, sampleEvery = 0;
    Figures warm;
    double sweepMs = 0;
    std::vector<int> killedPids, loggedPids;
    int n = 0;
    for (; n < sweeps || Elapsed() < seconds; ++n) {
        // A new hung client every 20 s: stale 91 s after its one record.
        if (Hung.size() < 8 && (lastHung == 0 || GetTickCount64() - lastHung > 20000)) {
            Hung.push_back(Spawn(Client("--hang")));
            lastHung = GetTickCount64();
        }
        const int dice = std::uniform_int_distribution<int>(0, 99)(Rng);
        if (dice < 1) {
            Child c = Spawn("\"" + std::string(self) + "\" --chaos-mutex");
            WaitForSingleObject(c.process, 30000);
            CloseHandle(c.process);
            ++Faults[0];
        } else if (dice < 2 && LogHolder == nullptr && std::uniform_int_distribution<int>(0, 9)(Rng) == 0) {
            LogHolder = Spawn("\"" + std::string(self) + "\" --chaos-log 2000").process;
            ++Faults[1];
        } else if (dice < 4) {
            const std::vector<void*> taken = Squeeze();
            PingSharedMemory(1);
            Release(taken);
            ++Faults[2];
        }
        if (Elapsed() >= nextOutage) {
            Outage();
            if (warmUpAt == 1e9) {
                warmUpAt = nextSample = Elapsed() + 5;
                sampleEvery = std::max(5.0, (seconds - warmUpAt) / 4);
            }
            nextOutage += 150;
            lastHung = 0;
        }
        const bool logHeld = LogHolder != nullptr;
        const ULONGLONG before = GetTickCount64();
        PingSharedMemory(1);
        checkPIDs();
        sweepMs += static_cast<double>(GetTickCount64() - before);
        const size_t killedBefore = killedPids.size();
        CheckChildren(killedPids);
        if (LogHolder != nullptr && WaitForSingleObject(LogHolder, 0) == WAIT_OBJECT_0) {
            CloseHandle(LogHolder);
            LogHolder = nullptr;
        }
        // A kill made while no one held the log must have its line.
        if (!logHeld && LogHolder == nullptr)
            for (size_t k = killedBefore; k < killedPids.size(); ++k)
                loggedPids.push_back(killedPids[k]);
        if (Elapsed() >= nextSample) {
            const Figures now = Measure();
            if (nextSample == warmUpAt)
                warm = now;
            std::printf("soak: %s (%d sweeps, %.0f s): %lu handles, working set %lu KB, private %lu KB\n",
                        nextSample == warmUpAt ? "after warm-up" : "then", n + 1, Elapsed(), now.handles,
                        now.workingSetKb, now.privateKb);
            std::fflush(stdout);
            nextSample += sampleEvery;
        }
    }
    const Figures end = Measure();
    for (const Child& c : Healthy)
        StopClient(c);
    for (const Child& c : Hung) {
        TerminateProcess(c.process, 9);
        CloseHandle(c.process);
    }
    if (LogHolder != nullptr)
        WaitForSingleObject(LogHolder, 10000);

    const std::string log = LogText();
    char pidText[16];
    for (int pid : loggedPids) {
        std::snprintf(pidText, sizeof pidText, "%06d", pid);
        if (log.find(std::string("TASKKILL Pid: ") + pidText) == std::string::npos)
            Fail("a kill without its log line, pid", static_cast<unsigned long>(pid));
    }
    std::printf("soak: at the end (%d sweeps, %.0f s): %lu handles, working set %lu KB, private %lu KB\n", n,
                Elapsed(), end.handles, end.workingSetKb, end.privateKb);
    std::printf("soak: %d sweeps, %.1f ms per heartbeat and sweep; %d hung clients killed; %d stale records logged "
                "(%d commands, %d withheld)\n",
                n, sweepMs / n, Kills, Count(log, "[WD] TASKKILL"), Count(log, "TASKKILL Pid:"),
                Count(log, "TASKKILL omitido"));
    for (int i = 0; i < 4; ++i)
        std::printf("soak: fault \"%s\" %d times\n", FaultNames[i], Faults[i]);
    if (warmUpAt == 1e9)
        Fail("the run ended before its first outage, after (s)", static_cast<unsigned long>(Elapsed()));
    // Wine's handle table grows in steps of its own: flat means within one.
    if (end.handles > warm.handles + 32)
        Fail("handles grew from", warm.handles);
    // Wine's client side keeps per-handle state too: leaked handles drag memory with them.
    if (end.privateKb > warm.privateKb + 1024)
        Fail("private memory grew (KB) from", warm.privateKb);
    if (Kills == 0)
        Fail("no hung client was killed");
    std::printf("soak: passed\n");
    return 0;
}
