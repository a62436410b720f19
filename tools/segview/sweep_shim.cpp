// TEMPORARY: see sweep_shim.h.
#include "sweep_shim.h"

bool IsRecord(const std::string& bloq)
{
    return bloq.compare(0, 3, "PID") == 0;
}

StampTicks RecordStamp(const std::string& record)
{
    return ParseStamp(RecordField(record, "INI:", std::string::npos));
}

bool IsStale(StampTicks age)
{
    return age >= StaleAge;
}

int LastClientBloq(int count)
{
    return count + 2 > 256 ? 256 : count + 2;
}

KillCheck CheckKill(const std::string& pidText, StampTicks recordStamp, HANDLE* process)
{
    if (process != nullptr)
        *process = nullptr;
    if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos)
        return KillPidNotNumber;
    // As agreed: a stamp that does not parse is no evidence of reuse.
    return recordStamp == 0 || MayKill(pidText, recordStamp) ? KillRun : KillPidReused;
}
