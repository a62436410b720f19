// Any bytes may come from a bloq. The first byte picks what they feed and in
// which time zone: the field lookup, the client count, a stale record's pid
// text, or a local stamp's moment in UTC. Each keeps its promise or aborts.
#include "fake_kernel.h"
#include "fake_process.h"
#include "fixture.h"

#include "sweep/sweep.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

namespace {

// No daylight saving, northern and southern ones, a half-hour change, 5:45.
void UseZone(unsigned pick)
{
    static const char* const zones[] = {
        "UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0", "<-03>3<-02>,M10.1.0/0,M2.3.0/0",
        "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "<+0545>-5:45",
    };
    static unsigned current = ~0u;
    pick %= sizeof zones / sizeof zones[0];
    if (pick != current) {
        setenv("TZ", zones[pick], 1);
        tzset();
        current = pick;
    }
}

// The local wall clock at a moment, read as if it were UTC, in seconds.
long long LocalSecondsAt(long long unixSeconds)
{
    const std::time_t moment = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    localtime_r(&moment, &local);
    return static_cast<long long>(timegm(&local));
}

void Check(bool promise)
{
    if (!promise)
        std::abort();
}

// A field never reaches past its width nor outside the bloq.
void Fields(const std::string& bloq)
{
    for (const auto& [tag, width] : {std::pair<const char*, size_t>{"PID:", 6}, {"TYP:", 3}}) {
        const std::string value = RecordField(bloq, tag, width);
        Check(value.size() <= width && bloq.find(value) != std::string::npos);
    }
    Check(IsRecord(bloq) == (bloq.compare(0, 3, "PID") == 0));
}

// The count is read as stoi reads it or raises with its own texts, and no
// count makes the loop ask past bloq 256.
void Count(const std::string& field)
{
    const std::string text = CompactCount(field);
    Check(text.find_first_of(std::string("\0 \t\n\v\f\r", 7)) == std::string::npos);
    try {
        const int count = ConvertCount(text);
        const int last = LastClientBloq(count);
        Check(last <= 256 && (count > 254 || last == count + 2));
    } catch (const std::invalid_argument& e) {
        Check(std::string(e.what()) == "invalid stoi argument");
    } catch (const std::out_of_range& e) {
        Check(std::string(e.what()) == "stoi argument out of range");
    }
}

// Only a plain number may reach the command; it is withheld only for a
// process created more than 2 s after the record, in UTC; no handle outlives
// its caller.
void Pid(const uint8_t* data, size_t size)
{
    if (size < 6)
        return;
    fake::ResetAll();
    int32_t written; // the record's local stamp, seconds from 1970
    int16_t lead;    // how long after the record, in UTC, the process was created
    std::memcpy(&written, data, 4);
    std::memcpy(&lead, data + 4, 2);
    const std::string pidText(reinterpret_cast<const char*>(data + 6), size - 6);
    const StampTicks stamp = static_cast<StampTicks>(written) * TicksPerSecond;
    const long long utc = LocalStampToUtc(stamp);
    const bool digits = !pidText.empty() && pidText.size() <= 9 &&
                        pidText.find_first_not_of("0123456789") == std::string::npos;
    const bool exists = digits && (lead & 1) == 0;
    if (exists)
        fake::processCreated[static_cast<DWORD>(std::stoul(pidText))] = utc / TicksPerSecond + lead;
    HANDLE process = nullptr;
    const KillCheck check = CheckKill(pidText, stamp, &process);
    Check((check == KillPidNotNumber) == !digits);
    Check((check == KillPidReused) == (exists && stamp != 0 && utc != 0 && lead > 2));
    Check((process != nullptr) == exists && fake::OpenHandleCount() == (exists ? 1 : 0));
    if (process != nullptr)
        CloseHandle(process);
}

// A local stamp's UTC moment shows that reading on the local clock and no
// later moment does (the later of two readings); a reading the clock skipped
// lands just past the jump.
void LocalToUtc(const uint8_t* data, size_t size)
{
    if (size < 4)
        return;
    uint32_t seconds; // 1970 to 2106
    std::memcpy(&seconds, data, 4);
    const long long utc = LocalStampToUtc(static_cast<StampTicks>(seconds) * TicksPerSecond);
    fake::calls.clear(); // the journal would grow for ever
    if (utc == 0)
        return;
    Check(utc % TicksPerSecond == 0);
    const long long moment = utc / TicksPerSecond, shown = LocalSecondsAt(moment);
    if (shown == seconds) {
        for (long long step : {1800, 3600, 7200})
            Check(LocalSecondsAt(moment + step) != seconds);
    } else {
        Check(shown > seconds && shown - seconds <= 7200);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    UseZone(data[0] >> 2);
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] & 3) {
    case 0: Fields(rest); break;
    case 1: Count(rest.substr(0, 5)); break;
    case 2: Pid(data + 1, size - 1); break;
    case 3: LocalToUtc(data + 1, size - 1); break;
    }
    return 0;
}
