#include "fake_kernel.h"
#include "fixture.h"

#include "segment/heartbeat.h"
#include "shell/log.h"

namespace {
const StampTicks S = TicksPerSecond;
const StampTicks Day = 86400 * S;
// 05/03/24 07:08:09 as seconds since 1970.
const StampTicks March5 = 1709622489 * S;

struct StampCase {
    std::string text;
    StampTicks expected;
};
} // namespace

class StampTest : public HostTest {};

TEST_F(StampTest, ParsesTheGrammarOfRecordStamps)
{
    const std::string nul(1, '\0');
    const StampCase cases[] = {
        {"05/03/24 07:08:09", March5},
        {"5/3/24 7:8:9", March5},
        {"05/03/2407:08:09", March5},              // no white space between year and hour
        {"05/03/24 \t\n 07:08:09", March5},        // any run of white space
        {"05/03/24 07:08:09" + std::string(23, '\0'), March5},
        {"05/03/24 07:08:09 and more text", March5},
        {"05/03/24 07:08:09x", March5},
        {"01/01/70 00:00:00", 0},
        {"01/01/70 00:00:01", S},
        {"02/01/70 00:00:00", Day},
        {"01/01/69 00:00:00", -365 * Day},
        {"31/12/68 23:59:59", 3124223999 * S},
        {"29/02/24 00:00:00", 1709164800 * S},
        {"31/12/99 23:59:59", 946684799 * S},
        {"01/01/00 00:00:00", 946684800 * S},
        // refused
        {"", 0},
        {std::string(40, '\0'), 0},
        {"05/13/24 07:08:09", 0},
        {"00/03/24 07:08:09", 0},
        {"05/03/24 24:08:09", 0},
        {"05/03/24 07:60:09", 0},
        {"05/03/24 07:08:60", 0},
        {"05-03-24 07:08:09", 0},
        {"05/03/2024 07:08:09", 0},
        {"31/04/24 07:08:09", 0},                  // past the end of April
        {"29/02/23 07:08:09", 0},
        {"05/03/24 07:08:091", 0},                 // digits straight after the seconds
        {" 05/03/24 07:08:09", 0},
        {"05/03/24 07:08", 0},
        {"05/03/24 07:08:", 0},
        {"05/03/24", 0},
        {"05/03/24" + nul + "07:08:09", 0},
        {"+5/03/24 07:08:09", 0},
        {"PID:000004 TYP:WDG INI:05/03/24 07:08:09", 0},
        {":05/03/24 07:08:09", 0},
    };
    for (const StampCase& c : cases)
        EXPECT_EQ(c.expected, ParseStamp(c.text)) << '"' << c.text << '"';
}

TEST_F(StampTest, NowStampFollowsTheLocalWallClockToTheSecond)
{
    fake::SetUnixTime(1709622489);
    EXPECT_EQ(March5, NowStamp());
    SetTimeZone("CET-1");
    EXPECT_EQ(March5 + 3600 * S, NowStamp());

    // A record written 91 seconds ago is 91 seconds old; 90 is 90.
    const std::string stamp = LocalStampText(fake::UnixTime());
    fake::SetUnixTime(fake::UnixTime() + 90);
    EXPECT_EQ(900000000, NowStamp() - ParseStamp(stamp));
    fake::SetUnixTime(fake::UnixTime() + 1);
    EXPECT_EQ(910000000, NowStamp() - ParseStamp(stamp));
}

TEST_F(StampTest, DaylightSavingChangesShiftAges)
{
    SetTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2025-03-30 00:59:00 UTC is 01:59 CET, a minute before clocks go forward.
    fake::SetUnixTime(1743296340);
    const std::string beforeSpring = LocalStampText(fake::UnixTime());
    fake::SetUnixTime(fake::UnixTime() + 120); // 03:01 CEST
    EXPECT_EQ((3600 + 120) * S, NowStamp() - ParseStamp(beforeSpring));

    // 2025-10-26 00:30 UTC is 02:30 CEST; an hour later it is 02:30 CET again.
    fake::SetUnixTime(1761438600);
    const std::string inRepeatedHour = LocalStampText(fake::UnixTime());
    fake::SetUnixTime(fake::UnixTime() + 60 * 60 - 60);
    EXPECT_EQ(-60 * S, NowStamp() - ParseStamp(inRepeatedHour));
}

TEST_F(StampTest, LocalStampsTurnToUtcByTheZoneRulesTakingTheLaterOfTwoReadings)
{
    struct ZoneCase {
        const char* tz;
        const char* local;
        long long utc; // seconds since 1970
    };
    const char* const Cet = "CET-1CEST,M3.5.0,M10.5.0/3";
    const ZoneCase cases[] = {
        {"UTC0", "05/03/24 07:08:09", 1709622489},
        {Cet, "05/03/24 07:08:09", 1709622489 - 3600},
        {Cet, "05/07/24 07:08:09", 1720163289 - 7200},
        {Cet, "26/10/25 02:30:00", 1761442200},       // shown at 00:30 and 01:30 UTC: the later
        {Cet, "26/10/25 01:59:59", 1761436800 - 1},   // the last second before the repeated hour
        {Cet, "26/10/25 03:00:00", 1761444000},
        {Cet, "30/03/25 02:30:00", 1743298200},       // skipped by the clock: the later reading
        {"<+0530>-5:30", "05/03/24 07:08:09", 1709622489 - 19800}, // the same text in other zones
        {"<-03>3", "05/03/24 07:08:09", 1709622489 + 10800},
    };
    for (const ZoneCase& c : cases) {
        SetTimeZone(c.tz);
        EXPECT_EQ(c.utc * S, LocalStampToUtc(ParseStamp(c.local))) << c.tz << ' ' << c.local;
    }
    EXPECT_EQ(0, LocalStampToUtc(INT64_MAX));
    EXPECT_EQ(0, LocalStampToUtc(INT64_MIN));
}

TEST_F(StampTest, TheYear2069FallsBackTo1969)
{
    fake::SetUnixTime(3124223999); // 31/12/68 23:59:59 UTC (2068)
    const StampTicks lastOf2068 = NowStamp();
    EXPECT_GT(lastOf2068, 0);
    fake::SetUnixTime(3124224000); // 01/01/69 00:00:00 (2069)
    EXPECT_EQ("01/01/69 00:00:00", LocalStampText(fake::UnixTime()));
    EXPECT_EQ(-365 * Day, NowStamp());
    EXPECT_LT(NowStamp() - lastOf2068, 0);
}

TEST_F(StampTest, BuildsFortyCharacterRecords)
{
    EXPECT_EQ("PID:000004 TYP:SVR INI:05/03/24 07:08:09", BuildHeartbeatRecord(4, "SVR", "05/03/24 07:08:09"));
    EXPECT_EQ("PID:999999 TYP:CLI INI:05/03/24 07:08:09", BuildHeartbeatRecord(999999, "CLI", "05/03/24 07:08:09"));
    EXPECT_EQ("PID:234567 TYP:WDG INI:05/03/24 07:08:09", BuildHeartbeatRecord(1234567, "WDG", "05/03/24 07:08:09"));
}
