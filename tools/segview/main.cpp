// segview: the operator's segment inspector. Shows every bloq in use with the
// verdict the watchdog's next sweep will reach on it, the client count as the
// sweep reads it and the watchdog's own heartbeat. Reads under the segment
// mutex, so that no record is caught half written.
#include "judge.h"
#include "render.h"

#include <segment_side.h>

#include <segment/segment.h>
#include <shell/log.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static const char* const Usage = "usage: segview [--watch SECONDS] [--json] [--help]\n";

static const char* const Help =
    "Shows the status segment Global\\KelmMem as the watchdog's next sweep will judge it.\n"
    "\n"
    "  --watch SECONDS  show it again every SECONDS (the screen is cleared in a console)\n"
    "  --json           one JSON object per line instead of text\n"
    "\n"
    "Text: one line per bloq in use, \"bloq N: <bytes> | <fields> | <verdict>\", bytes that\n"
    "are not printable written as \\0, \\\\ and \\xNN; then \"client count: ...\" and\n"
    "\"watchdog: ...\". Verdicts of the judged bloqs (0, and 3 up to count + 2):\n"
    "  FRESH, STALE, FUTURE (stamp ahead of the clock), NO STAMP (does not parse),\n"
    "  NOT A RECORD (no \"PID\" at the start); STALE and NO STAMP say what the next\n"
    "  sweep does. Others: NOT JUDGED, or WATCHDOG heartbeating / WATCHDOG SILENT\n"
    "  (bloq 1, no heartbeat for more than 65 s).\n"
    "\n"
    "JSON keys (strings escaped as in the text; absent values are null):\n"
    "  now       the clock the ages are measured against, dd/mm/yy hh:mm:ss\n"
    "  bloqs[]   bloq (0-255), role (server|watchdog|count|client), raw, record (bool),\n"
    "            pid, type, stamp (as the sweep reads them), age (seconds),\n"
    "            verdict (FRESH|STALE|FUTURE|NO STAMP|NOT A RECORD|NOT JUDGED),\n"
    "            action (none|restart|kill|kill-omitted-pid-reused|kill-omitted-pid-not-valid),\n"
    "            log (the line the next sweep writes for it, \"LEVEL: message\")\n"
    "  count     field (the five bytes), compacted, value, error (conversion message),\n"
    "            judges ([3, last] or null), log (lines the next sweep writes for it)\n"
    "  watchdog  record (bool), pid, age, silent (bool)\n"
    "\n"
    "Exit codes: 0 shown, 1 usage error, 2 the segment does not exist, 3 the segment\n"
    "or its mutex cannot be opened, 4 the mutex was abandoned by a process that ended\n"
    "holding it (it is released; run again to see the segment).\n";

enum ExitCode { ExitShown = 0, ExitUsage = 1, ExitMissing = 2, ExitOpenFailed = 3, ExitAbandoned = 4 };

// The segment access protocol: wait for the mutex without a time limit, copy,
// release. An abandoned mutex is released again and reported, not read: its
// holder died in the middle of a write.
static ExitCode Snapshot(const SegmentSide& segment, std::string& bytes)
{
    switch (LockSegmentMutex(segment)) {
    case LockTaken:
        bytes.assign(segment.view, SegmentSize);
        UnlockSegmentMutex(segment);
        return ExitShown;
    case LockTakenAbandoned:
        UnlockSegmentMutex(segment);
        std::fprintf(stderr, "segview: the mutex %s was abandoned by a process that ended holding it; "
                             "released, nothing shown\n", SegmentMutexName);
        return ExitAbandoned;
    default:
        std::fprintf(stderr, "segview: %s\n",
                     WithLastError(std::string("cannot wait for the mutex ") + SegmentMutexName).c_str());
        return ExitOpenFailed;
    }
}

// A console is cleared for the next picture; a file or pipe gets a separator.
static void ClearScreen()
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) {
        std::printf("\n");
        return;
    }
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * info.dwSize.Y;
    const COORD home = {0, 0};
    DWORD written = 0;
    FillConsoleOutputCharacterA(out, ' ', cells, home, &written);
    FillConsoleOutputAttribute(out, info.wAttributes, cells, home, &written);
    SetConsoleCursorPosition(out, home);
}

static bool ParseArguments(int argc, char** argv, int& watchSeconds, bool& json)
{
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--watch") == 0 && i + 1 < argc) {
            const long seconds = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || seconds < 1 || seconds > 86400) {
                std::fprintf(stderr, "segview: --watch takes a number of seconds from 1 to 86400\n%s", Usage);
                return false;
            }
            watchSeconds = static_cast<int>(seconds);
        } else {
            std::fprintf(stderr, "segview: unknown or incomplete argument: %s\n%s", argv[i], Usage);
            return false;
        }
    }
    return true;
}

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "/?") == 0)) {
        std::printf("%s\n%s", Usage, Help);
        return ExitShown;
    }
    int watchSeconds = 0;
    bool json = false;
    if (!ParseArguments(argc, argv, watchSeconds, json))
        return ExitUsage;

    SegmentSide segment;
    bool missing = false;
    std::string error;
    if (!OpenSegment(segment, FILE_MAP_READ, missing, error)) {
        if (missing) {
            std::fprintf(stderr, "segview: the segment %s does not exist: no server has created it\n",
                         SegmentMappingName);
            return ExitMissing;
        }
        std::fprintf(stderr, "segview: %s\n", error.c_str());
        return ExitOpenFailed;
    }
    ExitCode code = ExitShown;
    for (bool first = true;; first = false) {
        std::string bytes;
        if ((code = Snapshot(segment, bytes)) != ExitShown)
            break;
        const SegmentReport judged = JudgeSegment(bytes, UnixSecondsNow());
        if (!first && !json)
            ClearScreen();
        std::fputs((json ? JsonReport(judged) : TextReport(judged)).c_str(), stdout);
        std::fflush(stdout);
        if (watchSeconds == 0)
            break;
        Sleep(static_cast<DWORD>(watchSeconds) * 1000);
    }
    CloseSegment(segment);
    return code;
}
