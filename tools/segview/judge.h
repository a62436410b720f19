// The inspector's judgement of one snapshot of the status segment, made with
// the sweep's own functions, so that it tells what the next sweep will do.
#pragma once
#include <segment/heartbeat.h>

#include <string>
#include <vector>

enum Verdict { VerdictFresh, VerdictStale, VerdictFuture, VerdictNoStamp, VerdictNotRecord, VerdictNotJudged };
enum Action { ActionNone, ActionRestart, ActionKill, ActionOmitReused, ActionOmitNotValid };

// A watchdog ticks every 30 s; two missed ticks and a margin mean it has stopped.
const long long WatchdogSilentSeconds = 65;

struct BloqReport {
    int index = 0;
    std::string bytes; // the 40 bytes as stored
    bool record = false;
    // As the sweep reads them; pid and stamp end at their first NUL.
    std::string pid, type, stamp;
    bool hasStamp = false;
    long long age = 0; // seconds, negative when the stamp is ahead of the clock
    Verdict verdict = VerdictNotJudged;
    Action action = ActionNone;
    // "LEVEL: message" the next sweep writes for this bloq, its bytes escaped.
    std::string log;
};

struct CountReport {
    std::string field;     // the five bytes
    std::string compacted; // NUL and white space dropped
    bool converted = false;
    int value = 0;
    std::string error; // the conversion's exception text
    int lastJudged = 2; // the next sweep judges bloqs 3 to this one (none below 3)
    std::vector<std::string> log;
};

struct WatchdogReport {
    bool record = false;
    std::string pid;
    bool hasStamp = false;
    long long age = 0;
    bool silent = true;
};

struct SegmentReport {
    std::string now; // the clock the ages are measured against, as stamp text
    std::vector<BloqReport> bloqs; // every bloq not all zero bytes, in order
    CountReport count;
    WatchdogReport watchdog;
};

// `segment` holds the 10240 bytes of one snapshot.
SegmentReport JudgeSegment(const std::string& segment, long long unixSecondsNow);
