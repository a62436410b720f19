// Options of the reference server, from its command line (the service's binary
// path) and, for a service, from the start arguments on top of those.
#pragma once
#include <string>

struct ServerOptions {
    bool console = false;      // run in the foreground instead of as a service
    bool hang = false;         // write one record, then stop heartbeating
    std::string hangFile;      // while this file exists the server is hung, from its start on
    int intervalSeconds = 5;   // between heartbeats
    int startDelayMs = 0;      // a slow start: START_PENDING with rising check points
    int stopDelayMs = 0;       // a slow stop: STOP_PENDING likewise
    std::string logPath;       // empty: zorva-server.log beside the executable
    std::string control;       // --control: send this to the running service and exit
};

// Parses argv[first..argc-1] into `options` (which keeps what is not given).
bool ParseServerOptions(int argc, char** argv, int first, ServerOptions& options, std::string& error);

extern const char* const ServerUsage;
