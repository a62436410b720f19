// Any pid text may come from a stale record: only a plain number may reach
// the command, the command is withheld only for a process created more than
// 2 s after the record in UTC, and no process handle outlives its caller.
#include "fake_kernel.h"
#include "fake_process.h"
#include "fixture.h"
#include "fuzz_zones.h"

#include "sweep/sweep.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 7)
        return 0;
    fake::ResetAll();
    UseZone(data[0]);
    int32_t written; // the record's local stamp, seconds from 1970
    int16_t lead;    // how long after the record, in UTC, the process was created
    std::memcpy(&written, data + 1, 4);
    std::memcpy(&lead, data + 5, 2);
    const std::string pidText(reinterpret_cast<const char*>(data + 7), size - 7);
    const StampTicks stamp = static_cast<StampTicks>(written) * TicksPerSecond;
    const long long utc = LocalStampToUtc(stamp);

    const bool digits = !pidText.empty() && pidText.size() <= 9 &&
                        pidText.find_first_not_of("0123456789") == std::string::npos;
    const bool exists = digits && (lead & 1) == 0; // about half the numbers name a process
    if (exists)
        fake::processCreated[static_cast<DWORD>(std::stoul(pidText))] = utc / TicksPerSecond + lead;

    HANDLE process = nullptr;
    const KillCheck check = CheckKill(pidText, stamp, &process);
    const bool later = exists && stamp != 0 && utc != 0 && lead > 2;
    if ((check == KillPidNotNumber) != !digits || (check == KillPidReused) != later)
        std::abort();
    if ((process != nullptr) != exists || fake::OpenHandleCount() != (exists ? 1 : 0))
        std::abort();
    if (process != nullptr)
        CloseHandle(process);
    if (CheckKill(pidText, stamp) != check || fake::OpenHandleCount() != 0)
        std::abort();
    return 0;
}
