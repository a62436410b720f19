// Soak: thousands of heartbeats and sweeps over random segment contents, with
// faults injected through the fakes (views that cannot be mapped, the mapping
// gone and back, abandoned mutex waits, an unopenable log, memory exhaustion).
// After every sweep: commands only for plain numbers, at most once per stale
// record, never for a process created after its record; every action logged
// while the log can be written; nothing left open. Random but seeded:
// KELM_SOAK_SEED replays a run, KELM_SOAK_SWEEPS sets its length.
#include "fake_kernel.h"
#include "fake_process.h"
#include "fake_service.h"
#include "watchdog_test.h"

#include "segment/heartbeat.h"
#include "segment/segment.h"
#include "shell/log.h"
#include "sweep/sweep.h"

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace {

const char* const Hostile[] = {"1&calc", "1|x", "<a", "\"d\"", "12 34", "-5", "+5", "abc", "", " 123", "\xff\xfe", "0x1F"};

// The value after the first tag, or from position 3 without it.
std::string Field(const std::string& record, const char* tag, size_t width)
{
    const size_t at = record.find(tag);
    const size_t start = at == std::string::npos ? 3 : at + 4;
    std::string value = start < record.size() ? record.substr(start, width) : "";
    return value;
}

bool PlainNumber(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// One stale record in range, as the sweep should see it.
struct Candidate {
    int bloq;
    std::string pid;
    bool allowed;  // the command may run
    bool required; // the command must run (fault-free sweeps)
    bool sure;     // stale at the start and at the end of the sweep
    std::string line;
};

struct Plant {
    int kills = 0;
    int allowance = 1; // one more after each clear that failed
};

class SoakTest : public WatchdogTest {
protected:
    std::mt19937_64 rng_;
    std::vector<char>* seg_ = nullptr; // null while the mapping is gone
    Plant plants_[BloqCount];
    std::map<int, std::pair<DWORD, long long>> created_; // bloq -> pid, creation
    int goneFor_ = 0;
    int logDownFor_ = 0;
    size_t logSeen_ = 0;
    std::map<std::string, int> faults_;
    long kills_ = 0, stale_ = 0, withheld_ = 0;

    long long Range(long long low, long long high)
    {
        return std::uniform_int_distribution<long long>(low, high)(rng_);
    }
    int Pick(int n) { return static_cast<int>(Range(0, n - 1)); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    void Put(int bloq, std::string text)
    {
        text.resize(BloqSize, '\0');
        std::memcpy(seg_->data() + bloq * BloqSize, text.data(), BloqSize);
        plants_[bloq] = Plant();
        created_.erase(bloq);
    }

    std::string StampText()
    {
        const long long now = fake::UnixTime();
        switch (Pick(8)) {
        case 0: return LocalStampText(now - Range(0, 89));
        case 1: return LocalStampText(now - 90 - Pick(2));
        case 2: return LocalStampText(now + Range(1, 100000));
        case 3: return "99/99/99 99:99:99";
        case 4: return std::string("05-03-24 07:08:09\0", 18);
        default: return LocalStampText(now - Range(92, 1000000));
        }
    }

    std::string PidText()
    {
        char six[8];
        std::snprintf(six, sizeof six, "%06lld", Range(0, 999999));
        switch (Pick(6)) {
        case 0: return Hostile[Pick(sizeof Hostile / sizeof *Hostile)];
        case 1: return std::to_string(Range(1, 99999));
        default: return six;
        }
    }

    // A client bloq: mostly records of every shape, sometimes none.
    void PlantClient(int bloq)
    {
        const std::string pid = PidText();
        std::string text;
        switch (Pick(10)) {
        case 0: text = ""; break;
        case 1: text = "XYZ" + PidText(); break;
        case 2: text = "PID:" + pid; break;                          // no INI: stamp from position 3
        case 3: text = "PIDX" + pid + " TYP:CLI INI:" + StampText(); break; // no PID: tag
        case 4:
            for (int i = 0; i < BloqSize; ++i)
                text += static_cast<char>(Range(0, 255));
            text.replace(0, 3, "PID");
            break;
        default: text = "PID:" + pid + " TYP:CLI INI:" + StampText();
        }
        Put(bloq, text);
        // Its process: none, older than the record, or created around or after it.
        const std::string field = Field(text.substr(0, BloqSize), "PID:", 6);
        const std::string cut = field.substr(0, field.find('\0'));
        if (!PlainNumber(cut) || Pick(3) == 0)
            return;
        const long long stamp = ParseStamp(Field(text.substr(0, BloqSize), "INI:", std::string::npos)) / TicksPerSecond;
        const long long offsets[] = {-Range(0, 100000), 2, 3, Range(3, 100000), -1};
        created_[bloq] = {static_cast<DWORD>(std::stoul(cut)), stamp + offsets[Pick(5)]};
    }

    std::string CountText()
    {
        static const char alphabet[] = "0123456789 \t\r\n\v\f+-a\x80";
        std::string text;
        switch (Pick(12)) {
        case 0:
            for (int i = 0; i < 5; ++i)
                text += Pick(4) == 0 ? '\0' : alphabet[Pick(sizeof alphabet - 1)];
            return text;
        case 1: return Chance(0.005) ? "99999" : Chance(0.5) ? "254  " : "253  ";
        case 2: return Pick(2) ? "abc  " : std::string("-\0\0\0\0", 5);
        case 3: return Pick(2) ? "-4   " : "00000";
        case 4: return Pick(2) ? "+7x  " : std::string("1\0" "2\0\0", 5);
        default:
            text = std::to_string(Range(0, 40));
            text.insert(0, Pick(5 - text.size() + 1), Pick(2) ? ' ' : '\0');
            text.resize(5, Pick(2) ? ' ' : '\0');
            return text;
        }
    }

    void MutateSegment()
    {
        if (Chance(0.2)) {
            const std::string count = CountText();
            std::memcpy(seg_->data() + ClientCountOffset, count.data(), ClientCountSize);
        }
        if (Chance(0.15)) {
            const char* types[] = {"SVR", "CLI", "SV"};
            const char* type = types[Pick(3)];
            const long long age = Chance(0.9) ? Range(0, 80) : Range(91, 5000);
            Put(0, Pick(10) == 0 ? "" : "PID:000777 TYP:" + std::string(type) + " INI:" + LocalStampText(fake::UnixTime() - age));
        }
        for (int n = Pick(6); n > 0; --n)
            PlantClient(Chance(0.03) ? static_cast<int>(Range(250, 255)) : static_cast<int>(Range(3, 45)));
        fake::processCreated.clear();
        for (const auto& [bloq, process] : created_)
            fake::processCreated[process.first] = process.second;
    }

    void SetLogDown(bool down)
    {
        const std::string log = root_ + "/Log.txt", kept = root_ + "/Log.kept";
        if (down) {
            if (std::filesystem::exists(log))
                std::filesystem::rename(log, kept);
            std::filesystem::create_directory(log); // no one opens a folder as a file
        } else {
            std::filesystem::remove(log);
            if (std::filesystem::exists(kept))
                std::filesystem::rename(kept, log);
        }
    }

    void InjectFaults()
    {
        if (Chance(0.04)) {
            // Lands on a random access of the coming heartbeat or sweep.
            fake::mapViewErrors.assign(Pick(12), 0);
            const DWORD errors[] = {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, 1450};
            fake::mapViewErrors.push_back(errors[Pick(3)]);
            ++faults_["view cannot be mapped"];
        }
        if (Chance(0.04)) {
            fake::abandonedWaits = 1 + Pick(3);
            ++faults_["abandoned mutex"];
        }
        if (Chance(0.01)) {
            fake::createMutexError = ERROR_ACCESS_DENIED;
            ++faults_["mutex cannot be had"];
        }
        if (Chance(0.01) && !created_.empty()) {
            auto it = created_.begin();
            std::advance(it, Pick(static_cast<int>(created_.size())));
            fake::openProcessThrowsFor = it->second.first;
            ++faults_["memory exhausted in the sweep"];
        }
        // Only once the watchdog has dropped its handle can the name go away.
        if (seg_ != nullptr && SegmentMappingHandle == nullptr && Chance(0.5)) {
            fake::RemoveMapping("Global\\KelmMem");
            seg_ = nullptr;
            goneFor_ = 1 + Pick(4);
            ++faults_["mapping gone and back"];
        } else if (seg_ == nullptr && --goneFor_ <= 0) {
            seg_ = &CreateSegment();
            for (Plant& plant : plants_)
                plant = Plant();
            created_.clear();
        }
        if (logDownFor_ > 0 && --logDownFor_ == 0) {
            SetLogDown(false);
        } else if (logDownFor_ == 0 && Chance(0.02)) {
            logDownFor_ = 1 + Pick(8);
            SetLogDown(true);
            ++faults_["log cannot be opened"];
        }
    }

    std::vector<std::string> NewLogLines()
    {
        std::ifstream file(root_ + "/Log.txt", std::ios::binary);
        file.seekg(static_cast<std::streamoff>(logSeen_));
        std::stringstream bytes;
        bytes << file.rdbuf();
        const std::string text = bytes.str();
        logSeen_ += text.size();
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(end - start >= 20 ? text.substr(start + 20, end - start - 20) : "?" + text.substr(start, end - start));
        return lines;
    }

    // The stale records in range that the sweep about to run may act on.
    std::vector<Candidate> Candidates(const std::string& bytes, StampTicks before, StampTicks after, int& count, bool& countOk)
    {
        std::vector<Candidate> out;
        std::string compact;
        for (char c : bytes.substr(ClientCountOffset, ClientCountSize))
            if (c != '\0' && !std::isspace(static_cast<unsigned char>(c)))
                compact += c;
        count = 0;
        countOk = false;
        try {
            count = compact.empty() ? 0 : std::stoi(compact);
            countOk = !compact.empty();
        } catch (const std::exception&) {
        }
        if (!countOk)
            return out;
        for (int i = 3; i <= std::min(count + 2, BloqCount - 1); ++i) {
            const std::string record = bytes.substr(i * BloqSize, BloqSize);
            if (record.compare(0, 3, "PID") != 0)
                continue;
            const StampTicks stamp = ParseStamp(Field(record, "INI:", std::string::npos));
            if (after - stamp < StaleAge)
                continue;
            std::string pid = Field(record, "PID:", 6);
            pid.resize(std::min(pid.size(), pid.find('\0')));
            const bool plain = PlainNumber(pid);
            const auto process = plain ? fake::processCreated.find(std::stoul(pid)) : fake::processCreated.end();
            const bool exists = process != fake::processCreated.end();
            const bool reused = stamp != 0 && exists && process->second * TicksPerSecond > stamp + 2 * TicksPerSecond;
            Candidate c{i, pid, plain && !reused, plain && !reused && !(stamp == 0 && exists),
                        before - stamp >= StaleAge, ""};
            c.line = c.allowed ? "WARNING: [WD] TASKKILL Pid: " + pid
                     : plain              ? "WARNING: [WD] TASKKILL omitido, Pid reutilizado: " + pid
                                          : "WARNING: [WD] TASKKILL omitido, Pid no v\xc3\xa1lido: " + pid;
            c.line = c.line.substr(0, c.line.find('\n')); // a line feed in the text starts a new log line
            out.push_back(c);
        }
        return out;
    }

    // Handles the sweep opened and closed; views and mutex ownership.
    void CheckBalance()
    {
        int opened = 0, closed = 0;
        for (const std::string& call : fake::calls) {
            if (call.rfind("OpenProcess ", 0) == 0) {
                const DWORD pid = static_cast<DWORD>(std::stoul(call.substr(12)));
                opened += fake::processCreated.count(pid) && pid != fake::openProcessThrowsFor;
            }
            closed += call == "CloseHandle" || call == "CloseHandle process";
        }
        ASSERT_EQ(opened, closed) << "process handles";
        ASSERT_EQ(0, fake::viewsMapped);
        ASSERT_EQ(fake::mutexWaits, fake::mutexReleases);
        ASSERT_LE(fake::OpenHandleCount("mapping"), 1);
        ASSERT_LE(fake::OpenHandleCount("mutex"), 1) << "the open must close the mutex handle it replaces";
        ASSERT_EQ(0, fake::OpenScHandleCount());
        ASSERT_EQ(0, fake::LiveHeapBlocks());
    }

    void Sweep()
    {
        fake::SetUnixTime(fake::UnixTime() + Range(20, 70));
        if (seg_ != nullptr)
            MutateSegment();
        InjectFaults();
        // A service that stops and starts at once, for a stale server record.
        fake::FakeSvc& svc = fake::services["ZorvaService"];
        svc.queries = {fake::Status(SERVICE_RUNNING), fake::Status(SERVICE_STOPPED), fake::Status(SERVICE_RUNNING)};

        const bool logUp = logDownFor_ == 0;
        PingSharedMemory(1);
        if (SegmentMappingHandle != nullptr) {
            const std::string own(seg_->data() + BloqSize, BloqSize);
            ASSERT_EQ("PID:000004 TYP:WDG INI:" + LocalStampText(fake::UnixTime()), own);
        }
        const bool open = SegmentMappingHandle != nullptr;
        const std::string before = open ? std::string(seg_->data(), SegmentSize) : std::string(SegmentSize, '\0');
        const bool mapFault = !fake::mapViewErrors.empty();
        const bool faultFree = open && !mapFault && fake::openProcessThrowsFor == 0;
        const StampTicks clockBefore = NowStamp();

        checkPIDs();

        int count = 0;
        bool countOk = false;
        const std::vector<Candidate> candidates = Candidates(before, clockBefore, NowStamp(), count, countOk);
        // Each command names a plain number and matches, in bloq order, a
        // stale record that allows it.
        std::vector<bool> killed(candidates.size(), false);
        size_t next = 0;
        for (const std::string& command : fake::commands) {
            const size_t at = command.rfind("/F /PID ");
            ASSERT_NE(std::string::npos, at) << command;
            const std::string pid = command.substr(at + 8);
            ASSERT_TRUE(PlainNumber(pid) && pid.size() <= 6) << command;
            while (next < candidates.size() && !(candidates[next].allowed && candidates[next].pid == pid))
                ++next;
            ASSERT_LT(next, candidates.size()) << "no stale record allows " << command;
            Plant& plant = plants_[candidates[next].bloq];
            ASSERT_LE(++plant.kills, plant.allowance) << "killed twice: " << command;
            if (mapFault && seg_ != nullptr && std::string(seg_->data() + candidates[next].bloq * BloqSize, BloqSize) ==
                                       before.substr(candidates[next].bloq * BloqSize, BloqSize))
                ++plant.allowance; // its clear failed: the next sweep judges it again
            killed[next++] = true;
            ++kills_;
        }
        stale_ += candidates.size();
        withheld_ += candidates.size() - fake::commands.size();
        bool sure = true;
        for (size_t i = 0; i < candidates.size(); ++i) {
            sure = sure && candidates[i].sure;
            if (faultFree && countOk)
                ASSERT_TRUE(killed[i] || !candidates[i].required || !candidates[i].sure)
                    << "stale record in bloq " << candidates[i].bloq << " not killed";
        }

        if (logUp && logDownFor_ == 0)
            CheckLog(candidates, killed, faultFree && sure && open, count, countOk);
        else
            NewLogLines();
        CheckBalance();
        fake::calls.clear();
        fake::commands.clear();
        fake::openProcessThrowsFor = 0;
    }

    void CheckLog(const std::vector<Candidate>& candidates, const std::vector<bool>& killed, bool exact, int count, bool countOk)
    {
        const std::vector<std::string> lines = NewLogLines();
        std::vector<std::string> kills;
        int ranges = 0;
        for (const std::string& line : lines) {
            if (line.rfind("WARNING: [WD] TASKKILL", 0) == 0)
                kills.push_back(line);
            ranges += line.find("fuera de rango") != std::string::npos;
        }
        // Every command has its line.
        for (size_t i = 0; i < candidates.size(); ++i)
            if (killed[i])
                ASSERT_NE(kills.end(), std::find(kills.begin(), kills.end(), "WARNING: [WD] TASKKILL Pid: " + candidates[i].pid));
        if (!exact)
            return;
        std::vector<std::string> expected;
        for (const Candidate& c : candidates)
            expected.push_back(c.line);
        ASSERT_EQ(expected, kills);
        ASSERT_EQ(countOk && count + 2 > 255 ? 1 : 0, ranges);
    }
};

TEST_F(SoakTest, ThousandsOfSweepsWithFaultsKeepTheirPromises)
{
    const char* seedText = std::getenv("KELM_SOAK_SEED");
    const char* sweepsText = std::getenv("KELM_SOAK_SWEEPS");
    const unsigned long long seed = seedText ? std::strtoull(seedText, nullptr, 0)
                                             : static_cast<unsigned long long>(std::random_device()()) << 16 ^ std::time(nullptr);
    const int sweeps = sweepsText ? std::atoi(sweepsText) : 2000;
    const int warmUp = std::min(200, sweeps / 2);
    std::printf("soak: KELM_SOAK_SEED=%llu KELM_SOAK_SWEEPS=%d\n", seed, sweeps);
    SCOPED_TRACE("replay with KELM_SOAK_SEED=" + std::to_string(seed));
    rng_.seed(seed);
    seg_ = &CreateSegment();

    size_t heapWarm = 0;
    int handlesWarm = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 1; n <= sweeps; ++n) {
        Sweep();
        if (HasFatalFailure()) {
            ADD_FAILURE() << "at sweep " << n;
            return;
        }
        if (n == warmUp || n == sweeps) {
            fake::calls.shrink_to_fit();
            fake::commands.shrink_to_fit();
            const size_t heap = __sanitizer_get_current_allocated_bytes();
            const int handles = fake::OpenHandleCount();
            std::printf("soak: after %d sweeps: %d handles open, %zu heap bytes\n", n, handles, heap);
            if (n == warmUp) {
                heapWarm = heap;
                handlesWarm = handles;
            } else {
                EXPECT_LE(handles, std::max(handlesWarm, 2));
                EXPECT_LT(heap, heapWarm + 8 * 1024) << "heap grew from " << heapWarm;
            }
        }
    }
    if (logDownFor_ > 0)
        SetLogDown(false);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("soak: %d sweeps, %.3f ms each; %ld stale records judged, %ld commands run, %ld withheld\n", sweeps,
                ms / sweeps, stale_, kills_, withheld_);
    for (const auto& [fault, times] : faults_)
        std::printf("soak: fault \"%s\" %d times\n", fault.c_str(), times);
    EXPECT_GT(kills_, 0);
    EXPECT_GT(withheld_, 0);
}

} // namespace
