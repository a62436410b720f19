#include "render.h"

#include <visible_text.h>

#include <cstdio>

static const char* VerdictWord(Verdict verdict)
{
    switch (verdict) {
    case VerdictFresh: return "FRESH";
    case VerdictStale: return "STALE";
    case VerdictFuture: return "FUTURE";
    case VerdictNoStamp: return "NO STAMP";
    case VerdictNotRecord: return "NOT A RECORD";
    default: return "NOT JUDGED";
    }
}

static const char* ActionWord(Action action)
{
    switch (action) {
    case ActionRestart: return "restart";
    case ActionKill: return "kill";
    case ActionOmitReused: return "kill-omitted-pid-reused";
    case ActionOmitNotValid: return "kill-omitted-pid-not-valid";
    default: return "none";
    }
}

static std::string Age(long long seconds)
{
    return std::to_string(seconds) + " s";
}

static std::string Judgement(const BloqReport& bloq, const CountReport& count)
{
    switch (bloq.verdict) {
    case VerdictFresh:
        return "FRESH";
    case VerdictFuture:
        return "FUTURE: stamp " + Age(-bloq.age) + " ahead of the clock, left alone";
    case VerdictNotRecord:
        return "NOT A RECORD: passed over";
    case VerdictNotJudged:
        if (bloq.index == 1)
            return bloq.record && !bloq.hasStamp ? "WATCHDOG SILENT: no stamp"
                   : !bloq.record               ? "NOT JUDGED: bloq 1 belongs to the watchdog"
                   : bloq.age > WatchdogSilentSeconds
                       ? "WATCHDOG SILENT: no heartbeat for more than " + Age(WatchdogSilentSeconds)
                       : "WATCHDOG heartbeating";
        if (bloq.index == 2)
            return "NOT JUDGED: client count field";
        if (count.lastJudged < 3)
            return "NOT JUDGED: the next sweep reads no client bloq";
        return "NOT JUDGED: past bloq " + std::to_string(count.lastJudged);
    default:
        break;
    }
    const std::string head = VerdictWord(bloq.verdict) + std::string(": next sweep ");
    switch (bloq.action) {
    case ActionRestart: return head + "restarts the service";
    case ActionKill: return head + "kills pid " + EscapedBytes(bloq.pid) + " and clears the bloq";
    case ActionOmitReused: return head + "logs TASKKILL omitido (pid reused: a newer process holds it) and clears the bloq";
    case ActionOmitNotValid: return head + "logs TASKKILL omitido (pid not valid: not a plain number) and clears the bloq";
    default: return head + "does nothing (type not SVR)";
    }
}

static std::string Subject(const BloqReport& bloq)
{
    if (bloq.index == 2)
        return "count";
    if (!bloq.record)
        return "no \"PID\" at the start";
    return "pid " + EscapedBytes(bloq.pid) + " type " + EscapedBytes(bloq.type) +
           (bloq.hasStamp ? " age " + Age(bloq.age) : std::string(" no stamp"));
}

static std::string CountLine(const CountReport& count)
{
    std::string line = "client count: ";
    line += count.converted ? std::to_string(count.value) : count.compacted.empty() ? "none" : "error";
    line += " (field \"" + EscapedBytes(count.field) + "\", compacted \"" + EscapedBytes(count.compacted) + "\"): ";
    if (count.compacted.empty())
        return line + "next sweep ends before bloq 3";
    if (!count.converted)
        return line + "next sweep logs \"[WD] checkPIDs excepcion: " + count.error + "\" and judges no client bloq";
    if (count.lastJudged < 3)
        return line + "next sweep judges no client bloq";
    line += "next sweep judges bloqs 3.." + std::to_string(count.lastJudged);
    if (!count.log.empty())
        line += " and logs " + std::to_string(count.log.size()) + " range error" + (count.log.size() > 1 ? "s" : "");
    return line;
}

static std::string WatchdogLine(const WatchdogReport& watchdog)
{
    if (!watchdog.record)
        return "watchdog: no record in bloq 1 (not running, stopped cleanly, or the segment not yet opened)";
    const std::string seen = watchdog.hasStamp ? "last heartbeat " + Age(watchdog.age) + " ago" : "no stamp";
    return std::string("watchdog: ") + (watchdog.silent ? "SILENT, " : "") + seen + " (pid " +
           EscapedBytes(watchdog.pid) + ")";
}

std::string TextReport(const SegmentReport& judged)
{
    std::string text = "segment Global\\KelmMem at " + judged.now + "\n";
    for (const BloqReport& bloq : judged.bloqs) {
        char head[16];
        std::snprintf(head, sizeof head, "bloq %3d: ", bloq.index);
        text += head + VisibleBloqText(bloq.bytes) + " | " + Subject(bloq) + " | " +
                Judgement(bloq, judged.count) + "\n";
    }
    text += CountLine(judged.count) + "\n";
    text += WatchdogLine(judged.watchdog) + "\n";
    return text;
}

// ASCII only: the one non-ASCII letter of the log texts (UTF-8) as \u00XX.
static std::string Json(const std::string& text)
{
    std::string json = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = text[i];
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            json += static_cast<char>(c);
        } else {
            unsigned code = c;
            if (c >= 0xC2 && c <= 0xDF && i + 1 < text.size())
                code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F);
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", code);
            json += escape;
        }
    }
    return json + "\"";
}

static std::string JsonOrNull(bool present, const std::string& json)
{
    return present ? json : "null";
}

static const char* Role(int index)
{
    return index == 0 ? "server" : index == 1 ? "watchdog" : index == 2 ? "count" : "client";
}

std::string JsonReport(const SegmentReport& judged)
{
    std::string json = "{\"now\":" + Json(judged.now) + ",\"bloqs\":[";
    for (const BloqReport& bloq : judged.bloqs) {
        const bool fields = bloq.record && bloq.index != 2;
        if (json.back() != '[')
            json += ",";
        json += "{\"bloq\":" + std::to_string(bloq.index) + ",\"role\":\"" + Role(bloq.index) + "\"" +
                ",\"raw\":" + Json(EscapedBytes(bloq.bytes)) + ",\"record\":" + (bloq.record ? "true" : "false") +
                ",\"pid\":" + JsonOrNull(fields, Json(EscapedBytes(bloq.pid))) +
                ",\"type\":" + JsonOrNull(fields, Json(EscapedBytes(bloq.type))) +
                ",\"stamp\":" + JsonOrNull(fields, Json(EscapedBytes(bloq.stamp))) +
                ",\"age\":" + JsonOrNull(fields && bloq.hasStamp, std::to_string(bloq.age)) +
                ",\"verdict\":\"" + VerdictWord(bloq.verdict) + "\",\"action\":\"" + ActionWord(bloq.action) +
                "\",\"log\":" + JsonOrNull(!bloq.log.empty(), Json(bloq.log)) +
                "}";
    }
    const CountReport& count = judged.count;
    json += "],\"count\":{\"field\":" + Json(EscapedBytes(count.field)) +
            ",\"compacted\":" + Json(EscapedBytes(count.compacted)) +
            ",\"value\":" + JsonOrNull(count.converted, std::to_string(count.value)) +
            ",\"error\":" + JsonOrNull(!count.error.empty(), Json(count.error)) +
            ",\"judges\":" + JsonOrNull(count.lastJudged >= 3, "[3," + std::to_string(count.lastJudged) + "]") +
            ",\"log\":[";
    for (size_t i = 0; i < count.log.size(); ++i)
        json += (i ? "," : "") + Json(count.log[i]);
    const WatchdogReport& watchdog = judged.watchdog;
    json += "]},\"watchdog\":{\"record\":" + std::string(watchdog.record ? "true" : "false") +
            ",\"pid\":" + JsonOrNull(watchdog.record, Json(EscapedBytes(watchdog.pid))) +
            ",\"age\":" + JsonOrNull(watchdog.record && watchdog.hasStamp, std::to_string(watchdog.age)) +
            ",\"silent\":" + (watchdog.silent ? "true" : "false") + "}}\n";
    return json;
}
