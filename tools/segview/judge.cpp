#include "judge.h"

#include <segment/segment.h>
#include <shell/log.h>
#include <sweep/sweep.h>
#include <visible_text.h>

#include <algorithm>
#include <cstdio>
#include <exception>

static std::string CutAtNul(std::string text)
{
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

static CountReport JudgeCount(const std::string& segment)
{
    CountReport count;
    count.field = segment.substr(ClientCountOffset, ClientCountSize);
    count.compacted = CompactCount(count.field);
    if (count.compacted.empty())
        return count; // the sweep ends before bloq 3
    try {
        count.value = ConvertCount(count.compacted);
        count.converted = true;
    } catch (const std::exception& e) {
        count.error = e.what();
        count.log.push_back(std::string("ERROR: [WD] checkPIDs excepcion: ") + e.what());
        return count;
    }
    const int last = LastClientBloq(count.value);
    count.lastJudged = std::min(last, BloqCount - 1);
    for (int i = BloqCount; i <= last; ++i)
        count.log.push_back("ERROR: ReadBloqFromSharedMemory: offset " + std::to_string(i) + " fuera de rango");
    return count;
}

static void ReadFields(BloqReport& bloq, StampTicks now, StampTicks& stamp)
{
    bloq.pid = CutAtNul(RecordField(bloq.bytes, "PID:", 6));
    bloq.type = RecordField(bloq.bytes, "TYP:", 3);
    bloq.stamp = CutAtNul(RecordField(bloq.bytes, "INI:", std::string::npos));
    stamp = RecordStamp(bloq.bytes);
    bloq.hasStamp = stamp != 0;
    bloq.age = (now - stamp) / TicksPerSecond;
}

// The sweep's rule for a judged record: bloq 0 restarts the service, any
// other bloq is a client to kill.
static void Judge(BloqReport& bloq, StampTicks now, StampTicks stamp)
{
    const StampTicks age = now - stamp;
    if (!IsStale(age)) {
        bloq.verdict = age < 0 ? VerdictFuture : VerdictFresh;
        return;
    }
    bloq.verdict = stamp == 0 ? VerdictNoStamp : VerdictStale;
    if (bloq.index == 0) {
        if (bloq.type == "SVR") {
            bloq.action = ActionRestart;
            bloq.log = "INFO: [WD] STOP START SERVER";
        }
        return;
    }
    switch (CheckKill(bloq.pid, stamp)) {
    case KillRun:
        bloq.action = ActionKill;
        bloq.log = "WARNING: [WD] TASKKILL Pid: " + EscapedBytes(bloq.pid);
        break;
    case KillPidNotNumber:
        bloq.action = ActionOmitNotValid;
        bloq.log = "WARNING: [WD] TASKKILL omitido, Pid no v\xC3\xA1lido: " + EscapedBytes(bloq.pid);
        break;
    case KillPidReused:
        bloq.action = ActionOmitReused;
        bloq.log = "WARNING: [WD] TASKKILL omitido, Pid reutilizado: " + EscapedBytes(bloq.pid);
        break;
    }
}

SegmentReport JudgeSegment(const std::string& segment, long long unixSecondsNow)
{
    SegmentReport judged;
    judged.now = LocalStampText(unixSecondsNow);
    const StampTicks now = StampOfUnixSeconds(unixSecondsNow);
    judged.count = JudgeCount(segment);

    for (int i = 0; i < BloqCount; ++i) {
        BloqReport bloq;
        bloq.index = i;
        bloq.bytes = segment.substr(i * BloqSize, BloqSize);
        if (bloq.bytes == std::string(BloqSize, '\0'))
            continue;
        bloq.record = IsRecord(bloq.bytes);
        StampTicks stamp = 0;
        if (bloq.record && i != 2)
            ReadFields(bloq, now, stamp);
        const bool sweepJudges = i == 0 || (i >= 3 && i <= judged.count.lastJudged);
        if (sweepJudges && bloq.record)
            Judge(bloq, now, stamp);
        else if (sweepJudges)
            bloq.verdict = VerdictNotRecord;
        if (i == 1 && bloq.record) {
            WatchdogReport& watchdog = judged.watchdog;
            watchdog.record = true;
            watchdog.pid = bloq.pid;
            watchdog.hasStamp = bloq.hasStamp;
            watchdog.age = bloq.age;
            watchdog.silent = !bloq.hasStamp || bloq.age > WatchdogSilentSeconds;
        }
        judged.bloqs.push_back(bloq);
    }
    return judged;
}
