// The inspector's verdicts, count reading and output, on segments built in
// memory. The judging itself is the sweep's; these tables pin how the
// inspector puts its results together and shows them.
#include "fake_process.h"
#include "fixture.h"

#include "judge.h"
#include "render.h"

#include "segment/heartbeat.h"
#include "segment/segment.h"
#include "shell/log.h"

#include <cstring>

namespace {
const long long Now = 1765191605; // 08/12/25 11:00:05 UTC

std::string Record(const char* pid, const char* type, long long secondsAgo)
{
    return std::string("PID:") + pid + " TYP:" + type + " INI:" + LocalStampText(Now - secondsAgo);
}

struct Segment {
    std::string bytes = std::string(SegmentSize, '\0');
    void Put(int bloq, const std::string& text) { bytes.replace(bloq * BloqSize, text.size(), text); }
    void Count(const std::string& five) { bytes.replace(ClientCountOffset, ClientCountSize, five); }
};

const BloqReport* Find(const SegmentReport& judged, int bloq)
{
    for (const BloqReport& report : judged.bloqs)
        if (report.index == bloq)
            return &report;
    return nullptr;
}
} // namespace

class SegviewTest : public HostTest {};

TEST_F(SegviewTest, VerdictsAndWhatTheNextSweepDoes)
{
    fake::processCreated[500] = Now; // holds pid 000500 since after its record was written
    struct Row {
        int bloq;
        std::string text;
        Verdict verdict;
        Action action;
        std::string log;
    };
    const Row rows[] = {
        {0, Record("000100", "SVR", 91), VerdictStale, ActionRestart, "INFO: [WD] STOP START SERVER"},
        {3, Record("000200", "CLI", 90), VerdictFresh, ActionNone, ""},
        {4, Record("000201", "CLI", 91), VerdictStale, ActionKill, "WARNING: [WD] TASKKILL Pid: 000201"},
        {5, Record("000202", "CLI", -300), VerdictFuture, ActionNone, ""},
        {6, "PID:000203 TYP:CLI INI:31/13/25 10:00:00", VerdictNoStamp, ActionKill, "WARNING: [WD] TASKKILL Pid: 000203"},
        {7, std::string("PID:12\0\0", 8), VerdictNoStamp, ActionKill, "WARNING: [WD] TASKKILL Pid: 12"},
        {8, Record("1\x01" "2&x ", "CLI", 100), VerdictStale, ActionOmitNotValid,
         "WARNING: [WD] TASKKILL omitido, Pid no v\xC3\xA1lido: 1\\x012&x "},
        {9, Record("000500", "CLI", 100), VerdictStale, ActionOmitReused,
         "WARNING: [WD] TASKKILL omitido, Pid reutilizado: 000500"},
        {10, "pid:000204 TYP:CLI", VerdictNotRecord, ActionNone, ""},
        {11, Record("000205", "CLI", 500), VerdictNotJudged, ActionNone, ""}, // past count + 2
        {1, Record("000300", "WDG", 500), VerdictNotJudged, ActionNone, ""},
    };
    Segment segment;
    segment.Count("8\0\0\0\0");
    for (const Row& row : rows)
        segment.Put(row.bloq, row.text);
    const SegmentReport judged = JudgeSegment(segment.bytes, Now);
    for (const Row& row : rows) {
        SCOPED_TRACE("bloq " + std::to_string(row.bloq));
        const BloqReport* report = Find(judged, row.bloq);
        ASSERT_NE(nullptr, report);
        EXPECT_EQ(row.verdict, report->verdict);
        EXPECT_EQ(row.action, report->action);
        EXPECT_EQ(row.log, report->log);
    }
    EXPECT_TRUE(fake::commands.empty()); // judging runs nothing

    segment.Put(0, Record("000100", "CLI", 91)); // stale, but not the server's type
    const SegmentReport again = JudgeSegment(segment.bytes, Now);
    EXPECT_EQ(VerdictStale, Find(again, 0)->verdict);
    EXPECT_EQ(ActionNone, Find(again, 0)->action);
}

TEST_F(SegviewTest, ClientCountAsTheSweepReadsIt)
{
    struct Row {
        std::string field;
        const char* text; // the text report's count line after "client count: "
        int lastJudged;
        std::vector<std::string> log;
    };
    const Row rows[] = {
        {std::string(5, '\0'), "none (field \"\\0\\0\\0\\0\\0\", compacted \"\"): next sweep ends before bloq 3", 2, {}},
        {std::string(" 1\0 2", 5), "12 (field \" 1\\0 2\", compacted \"12\"): next sweep judges bloqs 3..14", 14, {}},
        {"+7abc", "7 (field \"+7abc\", compacted \"+7abc\"): next sweep judges bloqs 3..9", 9, {}},
        {"-4   ", "-4 (field \"-4   \", compacted \"-4\"): next sweep judges no client bloq", -2, {}},
        {"ab \xff ", "error (field \"ab \\xFF \", compacted \"ab\\xFF\"): next sweep logs "
                     "\"[WD] checkPIDs excepcion: invalid stoi argument\" and judges no client bloq",
         2, {"ERROR: [WD] checkPIDs excepcion: invalid stoi argument"}},
        {"253  ", "253 (field \"253  \", compacted \"253\"): next sweep judges bloqs 3..255", 255, {}},
        {"99999", "99999 (field \"99999\", compacted \"99999\"): next sweep judges bloqs 3..255 and logs 1 range error",
         255, {"ERROR: ReadBloqFromSharedMemory: offset 256 fuera de rango"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        Segment segment;
        segment.Count(row.field);
        const SegmentReport judged = JudgeSegment(segment.bytes, Now);
        EXPECT_EQ(row.lastJudged, judged.count.lastJudged);
        EXPECT_EQ(row.log, judged.count.log);
        EXPECT_NE(std::string::npos, TextReport(judged).find("\nclient count: " + std::string(row.text) + "\n"));
    }
}

TEST_F(SegviewTest, WatchdogSilentAfter65Seconds)
{
    for (long long age : {65, 66}) {
        Segment segment;
        segment.Put(1, Record("000300", "WDG", age));
        EXPECT_EQ(age > 65, JudgeSegment(segment.bytes, Now).watchdog.silent) << age;
    }
}

TEST_F(SegviewTest, TextAndJsonOfOneSegment)
{
    Segment segment;
    segment.Put(0, Record("000100", "SVR", 10));
    segment.Put(1, Record("000300", "WDG", 70));
    segment.Count("1    ");
    segment.Put(3, "PID:1\"\\    TYP:CLI INI:01/01/20 00:00:00");
    const SegmentReport judged = JudgeSegment(segment.bytes, Now);
    EXPECT_EQ("segment Global\\KelmMem at 08/12/25 11:00:05\n"
              "bloq   0: PID:000100 TYP:SVR INI:08/12/25 10:59:55 | pid 000100 type SVR age 10 s | FRESH\n"
              "bloq   1: PID:000300 TYP:WDG INI:08/12/25 10:58:55 | pid 000300 type WDG age 70 s"
              " | WATCHDOG SILENT: no heartbeat for more than 65 s\n"
              "bloq   2: 1    \\0 x 35 | count | NOT JUDGED: client count field\n"
              "bloq   3: PID:1\"\\\\    TYP:CLI INI:01/01/20 00:00:00 | pid 1\"\\\\    type CLI age 187354805 s"
              " | STALE: next sweep logs TASKKILL omitido (pid not valid: not a plain number) and clears the bloq\n"
              "client count: 1 (field \"1    \", compacted \"1\"): next sweep judges bloqs 3..3\n"
              "watchdog: SILENT, last heartbeat 70 s ago (pid 000300)\n",
              TextReport(judged));
    const std::string json = JsonReport(judged);
    for (const char* part : {
             "{\"now\":\"08/12/25 11:00:05\",\"bloqs\":[{\"bloq\":0,\"role\":\"server\",",
             "{\"bloq\":3,\"role\":\"client\",\"raw\":\"PID:1\\\"\\\\\\\\    TYP:CLI INI:01/01/20 00:00:00\",\"record\":true,"
             "\"pid\":\"1\\\"\\\\\\\\   \",\"type\":\"CLI\",\"stamp\":\"01/01/20 00:00:00\",\"age\":187354805,"
             "\"verdict\":\"STALE\",\"action\":\"kill-omitted-pid-not-valid\","
             "\"log\":\"WARNING: [WD] TASKKILL omitido, Pid no v\\u00e1lido: 1\\\"\\\\\\\\   \"}",
             "\"count\":{\"field\":\"1    \",\"compacted\":\"1\",\"value\":1,\"error\":null,\"judges\":[3,3],\"log\":[]}",
             "\"watchdog\":{\"record\":true,\"pid\":\"000300\",\"age\":70,\"silent\":true}}\n"})
        EXPECT_NE(std::string::npos, json.find(part)) << part << "\nin " << json;
}
