// segholder CLIENTS: creates the segment and keeps it, with a fresh server
// record and CLIENTS fresh client records stamped again every 20 s (none at
// all with 0: an empty segment). Prints "ready" once the records are in; runs
// until it is ended. Plays the supervised side while the watchdog idles.
#include "records.h"

#include <segment_side.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const int clients = argc > 1 ? std::atoi(argv[1]) : 0;
    SegmentSide segment;
    bool existed = false;
    std::string error;
    if (!CreateSegment(segment, existed, error)) {
        std::fprintf(stderr, "segholder: %s\n", error.c_str());
        return 1;
    }
    for (bool first = true;; first = false) {
        if (clients > 0 && TakeSegmentMutex(segment)) {
            WriteFreshRecords(segment.view, clients);
            UnlockSegmentMutex(segment);
        }
        if (first) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
        Sleep(20000);
    }
}
