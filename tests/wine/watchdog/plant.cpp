// Plants what no live client would write, under the segment mutex as every
// party does, so that a test can show what the watchdog makes of it:
//   plant TEXT          TEXT (cut or padded with zero bytes to 40) into the
//                       lowest free client bloq; the count then covers it
//   plant --at N TEXT   TEXT into bloq N
//   plant --count TEXT  the five count bytes as given (padded with blanks)
//   plant --abandon     takes the mutex and ends holding it, so that the next
//                       party finds it abandoned
// Operations run in order; the bloq of each record is printed.
// Run under any other name (as a planted taskkill.exe) it only notes its
// command line in planted-ran.txt of the current folder.
#include <client_bloqs.h>
#include <segment_side.h>

#include <segment/segment.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static void WriteCount(char* view, std::string text)
{
    text.resize(5, ' ');
    std::memcpy(view + 2 * BloqSize, text.data(), 5);
}

static int Plant(char* view, int bloq, std::string record)
{
    const bool lowestFree = bloq < 0;
    if (lowestFree) {
        bloq = FirstClientBloq;
        while (bloq < BloqCount && !IsEmptyBloq(view, bloq))
            ++bloq;
        if (bloq == BloqCount)
            return -1;
    }
    record.resize(BloqSize, '\0');
    record.copy(view + bloq * BloqSize, BloqSize);
    if (lowestFree)
        TidyClientBloqs(view);
    return bloq;
}

int main(int argc, char** argv)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const char* name = std::strrchr(self, '\\');
    if (_stricmp(name != nullptr ? name + 1 : self, "plant.exe") != 0) {
        if (FILE* note = std::fopen("planted-ran.txt", "a")) {
            std::fprintf(note, "%s\n", GetCommandLineA());
            std::fclose(note);
        }
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: plant [--at N] TEXT | --count TEXT ... | --abandon\n");
        return 2;
    }
    SegmentSide segment;
    bool missing = false;
    std::string error;
    if (!OpenSegment(segment, FILE_MAP_WRITE, missing, error)) {
        std::fprintf(stderr, "plant: %s\n", error.c_str());
        return 1;
    }
    if (!TakeSegmentMutex(segment))
        return 1;
    if (std::strcmp(argv[1], "--abandon") == 0)
        ExitProcess(0);
    int result = 0;
    for (int i = 1; i < argc && result == 0; ++i) {
        const std::string arg = argv[i];
        if (arg == "--count" && i + 1 < argc) {
            WriteCount(segment.view, argv[++i]);
        } else {
            const bool at = arg == "--at" && i + 2 < argc;
            const int target = at ? std::atoi(argv[i + 1]) : -1;
            const int bloq = at && (target < 0 || target >= BloqCount)
                                 ? -1
                                 : Plant(segment.view, target, argv[at ? i + 2 : i]);
            i += at ? 2 : 0;
            std::printf("%d\n", bloq);
            result = bloq < 0 ? 1 : 0;
        }
    }
    UnlockSegmentMutex(segment);
    CloseSegment(segment);
    return result;
}
