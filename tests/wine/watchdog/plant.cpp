// Plants a client record that no live client keeps: `plant TEXT` writes TEXT,
// cut or padded with zero bytes to 40, into the lowest free client bloq and
// fixes the count, under the segment mutex as every party does. Prints the
// bloq. Lets a test show the watchdog records it must not act on, even one
// that carries the pid of a live client. `plant --abandon` takes the mutex and
// ends holding it, so that the next party finds it abandoned.
#include <client_bloqs.h>
#include <segment_side.h>

#include <segment/segment.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: plant TEXT | --abandon\n");
        return 2;
    }
    const bool abandon = std::strcmp(argv[1], "--abandon") == 0;
    std::string record(argv[1]);
    record.resize(BloqSize, '\0');
    SegmentSide segment;
    bool missing = false;
    std::string error;
    if (!OpenSegment(segment, FILE_MAP_WRITE, missing, error)) {
        std::fprintf(stderr, "plant: %s\n", error.c_str());
        return 1;
    }
    if (!TakeSegmentMutex(segment))
        return 1;
    if (abandon)
        ExitProcess(0);
    int bloq = 3;
    while (bloq < BloqCount && !IsEmptyBloq(segment.view, bloq))
        ++bloq;
    if (bloq < BloqCount) {
        record.copy(segment.view + bloq * BloqSize, BloqSize);
        TidyClientBloqs(segment.view);
    } else {
        bloq = -1;
    }
    UnlockSegmentMutex(segment);
    CloseSegment(segment);
    std::printf("%d\n", bloq);
    return bloq < 0 ? 1 : 0;
}
