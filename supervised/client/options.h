// Options of the reference client.
#pragma once
#include <string>

struct ClientOptions {
    bool hang = false;            // write one record, then stop heartbeating
    int intervalSeconds = 5;      // between heartbeats
    int runForSeconds = 0;        // a clean exit after this long; 0: until told
    int waitSegmentSeconds = 0;   // give up when the segment is missing this long; 0: wait on
    std::string signal;           // --signal stop|hang|resume PID: drive another client
    unsigned long signalPid = 0;
};

bool ParseClientOptions(int argc, char** argv, ClientOptions& options, std::string& error);

extern const char* const ClientUsage;
