// Any bytes may stand in a bloq: the field lookup stays inside them, and the
// fields of every record a writer builds come back as written.
#include "shell/log.h"
#include "sweep/sweep.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bloq(reinterpret_cast<const char*>(data), size);
    const struct {
        const char* tag;
        size_t width;
    } fields[] = {{"PID:", 6}, {"TYP:", 3}, {"INI:", std::string::npos}};
    for (const auto& field : fields) {
        const std::string value = RecordField(bloq, field.tag, field.width);
        const size_t at = bloq.find(field.tag);
        const size_t start = at == std::string::npos ? 3 : at + 4;
        if (value.size() > field.width || (!value.empty() && bloq.compare(start, value.size(), value) != 0) ||
            value.size() != std::min(field.width, size > start ? size - start : 0))
            std::abort();
    }
    if (RecordStamp(bloq) != ParseStamp(RecordField(bloq, "INI:", std::string::npos)))
        std::abort();
    if (IsRecord(bloq) != (size >= 3 && std::memcmp(data, "PID", 3) == 0))
        std::abort();

    // A built record: pid and type from the input, stamp of any moment.
    if (size >= 11) {
        uint32_t pid;
        int32_t seconds;
        std::memcpy(&pid, data, 4);
        std::memcpy(&seconds, data + 4, 4);
        const std::string type(reinterpret_cast<const char*>(data + 8), 3);
        if (type.find('\0') != std::string::npos)
            return 0;
        const std::string stamp = LocalStampText(seconds);
        const std::string record = BuildHeartbeatRecord(pid, type.c_str(), stamp);
        char digits[8];
        std::snprintf(digits, sizeof digits, "%06lu", static_cast<unsigned long>(pid % 1000000));
        if (record.size() != 40 || !IsRecord(record) || RecordField(record, "PID:", 6) != digits ||
            RecordField(record, "TYP:", 3) != type || RecordStamp(record) != ParseStamp(stamp))
            std::abort();
    }
    return 0;
}
