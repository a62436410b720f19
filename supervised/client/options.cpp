#include "options.h"

#include <cstdlib>

const char* const ClientUsage =
    "usage: zorva-client [--hang] [--interval SECONDS] [--run-for SECONDS] [--wait-segment SECONDS]\n"
    "       zorva-client --signal stop|hang|resume PID\n";

static bool ParseNumber(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

bool ParseClientOptions(int argc, char** argv, ClientOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long value = 0;
        if (arg == "--hang") {
            options.hang = true;
        } else if (arg == "--interval" && hasValue) {
            if (!ParseNumber(argv[++i], 1, 60, value)) {
                error = "--interval takes 1 to 60 seconds";
                return false;
            }
            options.intervalSeconds = static_cast<int>(value);
        } else if (arg == "--run-for" && hasValue) {
            if (!ParseNumber(argv[++i], 1, 864000, value)) {
                error = "--run-for takes 1 to 864000 seconds";
                return false;
            }
            options.runForSeconds = static_cast<int>(value);
        } else if (arg == "--wait-segment" && hasValue) {
            if (!ParseNumber(argv[++i], 1, 864000, value)) {
                error = "--wait-segment takes 1 to 864000 seconds";
                return false;
            }
            options.waitSegmentSeconds = static_cast<int>(value);
        } else if (arg == "--signal" && i + 2 < argc) {
            options.signal = argv[++i];
            if (options.signal != "stop" && options.signal != "hang" && options.signal != "resume") {
                error = "--signal takes stop, hang or resume";
                return false;
            }
            if (!ParseNumber(argv[++i], 1, 0x7fffffffL, value)) {
                error = "--signal needs a process id";
                return false;
            }
            options.signalPid = static_cast<unsigned long>(value);
        } else {
            error = "unknown or incomplete argument: " + arg;
            return false;
        }
    }
    return true;
}
