// zorva-client: a reference client of the server, or with --signal a way to
// drive one.
#include "options.h"
#include "run.h"

#include <report.h>

#include <cstdio>

int main(int argc, char** argv)
{
    SetReportProgram("zorva-client");
    ClientOptions options;
    std::string error;
    if (!ParseClientOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "zorva-client: %s\n%s", error.c_str(), ClientUsage);
        return ClientExitUsage;
    }
    if (!options.signal.empty())
        return SignalClient(options.signal, options.signalPid);
    return RunClient(options);
}
