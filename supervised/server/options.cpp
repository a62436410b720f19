#include "options.h"

#include <cstdlib>
#include <cstring>

const char* const ServerUsage =
    "usage: zorva-server [--console] [--hang] [--hang-file PATH] [--interval SECONDS] [--start-delay MS]\n"
    "                    [--stop-delay MS] [--log PATH]\n"
    "       zorva-server --control hang|resume|CODE\n";

static bool ParseNumber(const char* text, int low, int high, int& value)
{
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < low || number > high)
        return false;
    value = static_cast<int>(number);
    return true;
}

bool ParseServerOptions(int argc, char** argv, int first, ServerOptions& options, std::string& error)
{
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--console") {
            options.console = true;
        } else if (arg == "--hang") {
            options.hang = true;
        } else if (arg == "--hang-file" && hasValue) {
            options.hangFile = argv[++i];
        } else if (arg == "--interval" && hasValue) {
            // Stamps carry whole seconds; the watchdog calls 91 s stale.
            if (!ParseNumber(argv[++i], 1, 60, options.intervalSeconds)) {
                error = "--interval takes 1 to 60 seconds";
                return false;
            }
        } else if (arg == "--start-delay" && hasValue) {
            if (!ParseNumber(argv[++i], 0, 600000, options.startDelayMs)) {
                error = "--start-delay takes 0 to 600000 ms";
                return false;
            }
        } else if (arg == "--stop-delay" && hasValue) {
            if (!ParseNumber(argv[++i], 0, 600000, options.stopDelayMs)) {
                error = "--stop-delay takes 0 to 600000 ms";
                return false;
            }
        } else if (arg == "--log" && hasValue) {
            options.logPath = argv[++i];
        } else if (arg == "--control" && hasValue) {
            options.control = argv[++i];
        } else {
            error = "unknown or incomplete argument: " + arg;
            return false;
        }
    }
    return true;
}
