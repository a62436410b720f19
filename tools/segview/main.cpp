// segview: prints the status segment as it stands: every bloq that is not all
// zero bytes, made visible, and the client count. Reads under the segment
// mutex, so that no record is caught half written.
#include <client_bloqs.h>
#include <segment_side.h>
#include <visible_text.h>

#include <segment/segment.h>
#include <shell/log.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static const char* const Usage = "usage: segview [--watch SECONDS]\n";

static std::string Snapshot(const SegmentSide& segment, bool& abandoned, bool& locked)
{
    const LockResult lock = LockSegmentMutex(segment);
    locked = lock != LockFailed;
    abandoned = lock == LockTakenAbandoned;
    if (!locked)
        return "";
    std::string bytes(segment.view, SegmentSize);
    UnlockSegmentMutex(segment);
    return bytes;
}

static void Print(const std::string& bytes)
{
    for (int i = 0; i < BloqCount; ++i) {
        if (IsEmptyBloq(bytes.data(), i))
            continue;
        std::printf("bloq %3d: %s\n", i, VisibleBloqText(bytes.substr(i * BloqSize, BloqSize)).c_str());
    }
    const std::string field = bytes.substr(ClientCountOffset, ClientCountSize);
    const int count = ReadClientCount(bytes.data());
    std::string fieldText;
    for (char c : field)
        fieldText += c == '\0' ? std::string("\\0") : std::string(1, c);
    if (count < 0)
        std::printf("client count: none (field \"%s\")\n", fieldText.c_str());
    else
        std::printf("client count: %d (field \"%s\")\n", count, fieldText.c_str());
}

int main(int argc, char** argv)
{
    int watchSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--watch") == 0 && i + 1 < argc) {
            watchSeconds = std::atoi(argv[++i]);
            if (watchSeconds < 1) {
                std::fprintf(stderr, "segview: --watch takes a number of seconds\n%s", Usage);
                return 2;
            }
        } else {
            std::fprintf(stderr, "segview: unknown argument: %s\n%s", argv[i], Usage);
            return 2;
        }
    }

    SegmentSide segment;
    bool missing = false;
    std::string error;
    if (!OpenSegment(segment, FILE_MAP_READ, missing, error)) {
        std::fprintf(stderr, "segview: %s%s\n", error.c_str(),
                     missing ? " (no server has created it)" : "");
        return 1;
    }
    for (;;) {
        bool abandoned = false, locked = false;
        const std::string bytes = Snapshot(segment, abandoned, locked);
        if (!locked) {
            std::fprintf(stderr, "segview: %s\n", WithLastError("cannot wait for the segment mutex").c_str());
            CloseSegment(segment);
            return 1;
        }
        if (watchSeconds > 0)
            std::printf("--- %s\n", LocalStampText(UnixSecondsNow()).c_str());
        if (abandoned)
            std::printf("(the segment mutex was abandoned by a process that ended holding it)\n");
        Print(bytes);
        std::fflush(stdout);
        if (watchSeconds == 0)
            break;
        Sleep(static_cast<DWORD>(watchSeconds) * 1000);
    }
    CloseSegment(segment);
    return 0;
}
