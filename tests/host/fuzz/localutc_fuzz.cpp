// Any local stamp, in any zone: its UTC moment shows that reading on the
// local clock, and no later moment does (the later of two readings); a
// reading the clock skipped lands just past the jump.
#include "fake_kernel.h"
#include "fuzz_zones.h"

#include "segment/heartbeat.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    UseZone(data[0]);
    StampTicks local;
    if (size >= 9) {
        std::memcpy(&local, data + 1, 8); // any value at all
    } else {
        uint32_t seconds; // whole seconds of 1970 to 2106
        std::memcpy(&seconds, data + 1, 4);
        local = static_cast<StampTicks>(seconds) * TicksPerSecond;
    }
    const long long utc = LocalStampToUtc(local);
    fake::calls.clear(); // the journal would grow for ever
    if (utc == 0 || local % TicksPerSecond != 0 || local / TicksPerSecond > 253402300799LL ||
        local / TicksPerSecond < -2208988800LL)
        return 0; // stay within the years the host's calendar reads alike
    if (utc % TicksPerSecond != 0)
        std::abort();
    const long long reading = local / TicksPerSecond, moment = utc / TicksPerSecond;
    const long long shown = LocalSecondsAt(moment);
    if (shown == reading) {
        for (long long step : {1800, 3600, 7200})
            if (LocalSecondsAt(moment + step) == reading)
                std::abort();
    } else if (shown < reading || shown - reading > 7200) {
        std::abort();
    }
    return 0;
}
