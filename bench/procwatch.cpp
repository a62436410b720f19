// procwatch SECONDS STEP NAME[:UNIXPID]...: samples the named processes of
// this Wine prefix every STEP seconds for SECONDS, then sums up the idle
// period. The first NAME is the reference the others are compared with.
// Figures come from the system's process list (NtQuerySystemInformation):
// working set, PagefileUsage (private bytes), threads and CPU time (10 ms
// steps) of any process, where Wine's GetProcessHandleCount and the CPU times
// of another process are stubs. Its HandleCount is the size of Wine's handle
// table (it grows in steps of 32), so handles are counted one by one in the
// system's handle list as well. With UNIXPID, the Linux side of
// the same process adds the CPU time of all its threads in nanoseconds
// (/proc/PID/task/*/schedstat).
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Sample {
    bool found = false;
    double ws = 0, priv = 0; // KB
    unsigned long table = 0, handles = 0, threads = 0;
    double cpu = 0;          // seconds, as Wine counts them
    double linuxCpu = -1;    // seconds, -1 when not known
};

struct Watched {
    std::string name;
    std::string unixPid;
    std::vector<Sample> samples;
};

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

double ThreadCpu(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return -1;
    unsigned long long ns = 0;
    const bool read = std::fscanf(file, "%llu", &ns) == 1;
    std::fclose(file);
    return read ? ns / 1e9 : -1;
}

// Every thread of the Linux process, the emulator's own included.
double LinuxCpu(const std::string& pid)
{
    if (pid.empty())
        return -1;
    const std::string tasks = "Z:\\proc\\" + pid + "\\task\\";
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((tasks + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return -1;
    double total = -1;
    do {
        if (entry.cFileName[0] == '.')
            continue;
        const double cpu = ThreadCpu(tasks + entry.cFileName + "\\schedstat");
        if (cpu >= 0)
            total = (total < 0 ? 0 : total) + cpu;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return total;
}

// SystemHandleInformation's entry; not in every SDK's headers.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

unsigned long CountHandles(const std::vector<char>& list, ULONG_PTR pid)
{
    const ULONG count = *reinterpret_cast<const ULONG*>(list.data());
    const auto* entries = reinterpret_cast<const HandleEntry*>(list.data() + sizeof(ULONG_PTR));
    unsigned long owned = 0;
    for (ULONG i = 0; i < count; ++i)
        owned += entries[i].ownerPid == pid;
    return owned;
}

void TakeSamples(std::vector<Watched>& watched)
{
    static std::vector<char> handles(1 << 16);
    while (NtQuerySystemInformation(SYSTEM_INFORMATION_CLASS(16), handles.data(), ULONG(handles.size()),
                                    nullptr) == NTSTATUS(0xC0000004L))
        handles.resize(handles.size() * 2);
    static std::vector<char> buffer(1 << 16);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemProcessInformation, buffer.data(), ULONG(buffer.size()),
                                              &needed)) == NTSTATUS(0xC0000004L))
        buffer.resize(buffer.size() * 2);
    for (Watched& w : watched) {
        Sample sample;
        const std::wstring name = Wide(w.name);
        for (size_t at = 0; status == 0;) {
            const auto* p = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
            const std::wstring image(p->ImageName.Buffer ? p->ImageName.Buffer : L"",
                                     p->ImageName.Length / sizeof(wchar_t));
            if (_wcsicmp(image.c_str(), name.c_str()) == 0) {
                sample.found = true;
                sample.ws = p->VirtualMemoryCounters.WorkingSetSize / 1024.0;
                sample.priv = p->VirtualMemoryCounters.PagefileUsage / 1024.0;
                sample.table = p->HandleCount;
                sample.handles = CountHandles(handles, ULONG_PTR(p->UniqueProcessId));
                sample.threads = p->NumberOfThreads;
                sample.cpu = (p->UserTime.QuadPart + p->KernelTime.QuadPart) / 1e7;
                break;
            }
            if (p->NextEntryOffset == 0)
                break;
            at += p->NextEntryOffset;
        }
        sample.linuxCpu = LinuxCpu(w.unixPid);
        w.samples.push_back(sample);
    }
}

void PrintSample(double t, const Watched& w, const Sample& s)
{
    if (!s.found) {
        std::printf("%5.0f s  %-13s not running\n", t, w.name.c_str());
        return;
    }
    std::printf("%5.0f s  %-13s ws %7.0f KB  private %7.0f KB  handles %3lu (table %3lu)  threads %2lu  cpu %6.2f s",
                t, w.name.c_str(), s.ws, s.priv, s.handles, s.table, s.threads, s.cpu);
    if (s.linuxCpu >= 0)
        std::printf("  linux cpu %8.4f s", s.linuxCpu);
    std::printf("\n");
}

const char* Level(unsigned long first, unsigned long last)
{
    return first == last ? "level" : last > first ? "GROWS" : "falls";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: procwatch SECONDS STEP NAME[:UNIXPID]...\n");
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const int step = std::atoi(argv[2]);
    std::vector<Watched> watched;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t colon = arg.find(':');
        watched.push_back({arg.substr(0, colon), colon == std::string::npos ? "" : arg.substr(colon + 1), {}});
    }

    const ULONGLONG start = GetTickCount64();
    std::vector<double> times;
    for (int t = 0; t <= seconds; t += step) {
        const ULONGLONG due = start + ULONGLONG(t) * 1000;
        const ULONGLONG now = GetTickCount64();
        if (due > now)
            Sleep(DWORD(due - now));
        times.push_back((GetTickCount64() - start) / 1000.0);
        TakeSamples(watched);
        for (const Watched& w : watched)
            PrintSample(times.back(), w, w.samples.back());
        std::fflush(stdout);
    }

    const double span = times.back() - times.front();
    const Sample& ref = watched.front().samples.back();
    std::printf("idle period %.0f s:\n", span);
    int failures = 0;
    for (const Watched& w : watched) {
        const Sample& a = w.samples.front();
        const Sample& b = w.samples.back();
        if (!a.found || !b.found) {
            std::printf("  %-13s was not running throughout\n", w.name.c_str());
            ++failures;
            continue;
        }
        std::printf("  %-13s ws %.0f -> %.0f KB, private %.0f -> %.0f KB, handles %lu -> %lu (%s), "
                    "threads %lu -> %lu (%s)\n", w.name.c_str(), a.ws, b.ws, a.priv, b.priv, a.handles, b.handles,
                    Level(a.handles, b.handles), a.threads, b.threads, Level(a.threads, b.threads));
        std::printf("  %-13s cpu per idle hour %.3f s (Wine, 10 ms steps: %.2f s in %.0f s)", "",
                    (b.cpu - a.cpu) * 3600 / span, b.cpu - a.cpu, span);
        if (a.linuxCpu >= 0 && b.linuxCpu >= 0)
            std::printf(", %.3f s (Linux: %.4f s)", (b.linuxCpu - a.linuxCpu) * 3600 / span,
                        b.linuxCpu - a.linuxCpu);
        std::printf("\n");
        if (&w != &watched.front() && ref.found)
            std::printf("  %-13s memory vs %s: working set %.2fx (%.0f / %.0f KB), private %.2fx (%.0f / %.0f KB)\n",
                        "", watched.front().name.c_str(), b.ws / ref.ws, b.ws, ref.ws, b.priv / ref.priv, b.priv,
                        ref.priv);
    }
    return failures ? 1 : 0;
}
