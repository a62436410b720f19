#include "fake_kernel.h"
#include "fake_process.h"
#include "fake_service.h"
#include "watchdog_test.h"

#include "segment/heartbeat.h"
#include "segment/segment.h"
#include "shell/log.h"
#include "sweep/sweep.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {
const long long Now = 1765191605; // 08/12/25 11:00:05 UTC, the fakes' clock

std::string Stamp(long long secondsAgo) { return LocalStampText(Now - secondsAgo); }

std::string Record(unsigned long pid, const char* type, long long secondsAgo)
{
    return BuildHeartbeatRecord(pid, type, Stamp(secondsAgo));
}

std::string Kill(const std::string& pid) { return "\"C:\\Windows\\system32\\taskkill.exe\" /F /PID " + pid; }
} // namespace

class SweepTest : public WatchdogTest {
protected:
    void SetUp() override
    {
        WatchdogTest::SetUp();
        segment_ = &CreateSegment();
        OpenSharedMemory();
    }
    void Put(int bloq, const std::string& text)
    {
        std::memset(segment_->data() + bloq * BloqSize, 0, BloqSize);
        std::memcpy(segment_->data() + bloq * BloqSize, text.data(), std::min<size_t>(text.size(), BloqSize));
    }
    void PutCount(const std::string& five) { std::memcpy(segment_->data() + 80, five.data(), 5); }
    std::string Bloq(int bloq) const { return std::string(segment_->data() + bloq * BloqSize, BloqSize); }
    bool Empty(int bloq) const { return Bloq(bloq) == std::string(BloqSize, '\0'); }

    // A service that stops at once and starts at once.
    static void HealthyService()
    {
        fake::FakeSvc& svc = fake::services["ZorvaService"];
        svc.queries = {fake::Status(SERVICE_RUNNING), fake::Status(SERVICE_STOPPED), fake::Status(SERVICE_RUNNING)};
        svc.control = fake::Status(SERVICE_STOPPED);
    }

    std::vector<char>* segment_ = nullptr;
};

TEST_F(SweepTest, QuietWhenNothingIsStaleOrTheSegmentIsEmpty)
{
    checkPIDs();
    PutCount("    2");
    Put(0, Record(100, "SVR", 90)); // exactly 90 s: fresh
    Put(3, Record(200, "CLI", 0));
    Put(4, Record(300, "CLI", -300)); // five minutes ahead of the clock
    checkPIDs();
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(fake::commands.empty());
    EXPECT_TRUE(fake::CallsStartingWith("OpenSCManagerA").empty());

    SegmentMappingHandle = nullptr; // segment not open: nothing at all
    Put(3, Record(200, "CLI", 500));
    checkPIDs();
    EXPECT_TRUE(LogLines().empty());
    EXPECT_FALSE(Empty(3));
}

TEST_F(SweepTest, StaleServerRestartsTheServiceBeforeClientsAreJudged)
{
    HealthyService();
    std::ofstream(root_ + "/wdnokill.txt") << "left by the server";
    const std::string server = Record(100, "SVR", 91);
    Put(0, server);
    PutCount("1\0\0\0\0");
    Put(3, Record(200, "CLI", 60));
    // The service takes 40 s to come back: by then the client is 100 s old.
    std::vector<fake::SvcStep>& queries = fake::services["ZorvaService"].queries;
    queries.pop_back();
    for (DWORD checkPoint = 1; checkPoint <= 4; ++checkPoint)
        queries.push_back(fake::Status(SERVICE_START_PENDING, checkPoint, 100000));
    queries.push_back(fake::Status(SERVICE_RUNNING));

    checkPIDs();

    EXPECT_EQ((std::vector<std::string>{"INFO: [WD] STOP START SERVER",
                                        "INFO: [WD] Servicio detenido correctamente",
                                        "WARNING: [WD] Iniciar el servicio pendiente...",
                                        "INFO: [WD] Servicio iniciado correctamente",
                                        "WARNING: [WD] TASKKILL Pid: 000200"}),
              LogLines());
    EXPECT_TRUE(std::filesystem::exists(root_ + "/wdnokill.txt"));
    EXPECT_EQ(0u, std::filesystem::file_size(root_ + "/wdnokill.txt"));
    EXPECT_EQ(server, Bloq(0)); // never cleared
    EXPECT_TRUE(Empty(3));
}

TEST_F(SweepTest, StaleServerRecordOfAnotherTypeIsLeftAlone)
{
    Put(0, Record(100, "CLI", 500));
    checkPIDs();
    Put(0, "PID:000100 TYP:SV INI:" + Stamp(500)); // a type of two letters
    checkPIDs();
    EXPECT_TRUE(LogLines().empty());
    EXPECT_FALSE(std::filesystem::exists(root_ + "/wdnokill.txt"));
}

TEST_F(SweepTest, KillsStaleClientsInOrderAndClearsTheirBloqs)
{
    PutCount("  3\0\0");
    Put(3, Record(1234, "CLI", 91));
    Put(4, Record(2345, "CLI", 30));
    Put(5, Record(3456, "SVR", 4000)); // a server type above bloq 2 is a client
    Put(1, Record(4, "WDG", 4000));   // bloqs 1 and 2 are never judged
    checkPIDs();
    EXPECT_EQ((std::vector<std::string>{Kill("001234"), Kill("003456")}), fake::commands);
    EXPECT_EQ((std::vector<std::string>{"WARNING: [WD] TASKKILL Pid: 001234", "WARNING: [WD] TASKKILL Pid: 003456"}),
              LogLines());
    EXPECT_TRUE(Empty(3));
    EXPECT_FALSE(Empty(4));
    EXPECT_TRUE(Empty(5));
    EXPECT_FALSE(Empty(1));
    EXPECT_TRUE(fake::CallsStartingWith("OpenSCManagerA").empty());
}

TEST_F(SweepTest, RecordsWithoutAValidStampAreStaleAndProveNoReuse)
{
    PutCount("3    ");
    Put(3, "PID:000011 TYP:CLI INI:99/99/99 99:99:99");
    Put(4, "PID:000012 TYP:CLI");                 // no INI: the stamp is read from position 3
    Put(5, std::string("PID:12") + std::string(34, '\0')); // the pid text ends at its first NUL
    fake::processCreated[11] = Now - 5;            // however young the process, it is killed
    checkPIDs();
    EXPECT_EQ((std::vector<std::string>{Kill("000011"), Kill("000012"), Kill("12")}), fake::commands);
}

TEST_F(SweepTest, ReadsTheCountAsStoiDoesAfterCompaction)
{
    struct CountCase {
        std::string field;
        int lastBloqRead; // 2: no client bloq read
    };
    const CountCase cases[] = {
        {std::string("  3\0\0", 5), 5},
        {std::string("1\0" "2\0\0", 5), 14},
        {"1 2  ", 14},
        {"0    ", 2},
        {"00000", 2},
        {"-4   ", 2},
        {"+7   ", 9},
        {"7ab  ", 9},
        {"\t5\r\n ", 7},
    };
    for (const CountCase& c : cases) {
        fake::ResetAll();
        segment_ = &CreateSegment();
        SegmentMappingHandle = nullptr;
        OpenSharedMemory();
        PutCount(c.field);
        // A stale record in every client bloq shows exactly which ones were read.
        for (int i = 3; i < 20; ++i)
            Put(i, Record(i, "CLI", 100));
        checkPIDs();
        EXPECT_EQ(static_cast<size_t>(c.lastBloqRead - 2), fake::commands.size()) << c.field;
    }
}

TEST_F(SweepTest, UnreadableCountsEndTheRunWithTheStoiTexts)
{
    for (const char* count : {"abc  ", "-    ", "+    "}) {
        Put(3, Record(33, "CLI", 100));
        PutCount(count);
        checkPIDs();
    }
    EXPECT_EQ(std::vector<std::string>(3, "ERROR: [WD] checkPIDs excepcion: invalid stoi argument"), LogLines());
    EXPECT_TRUE(fake::commands.empty());
    EXPECT_THROW(ConvertCount("99999999999"), std::out_of_range);
    try {
        ConvertCount("99999999999");
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ("stoi argument out of range", e.what());
    }
}

TEST_F(SweepTest, CountsPastTheSegmentAskForBloqsThatDoNotExist)
{
    PutCount("253  ");
    checkPIDs();
    EXPECT_TRUE(LogLines().empty());

    PutCount("254  ");
    checkPIDs();
    EXPECT_EQ((std::vector<std::string>{"ERROR: ReadBloqFromSharedMemory: offset 256 fuera de rango"}), LogLines());

    // A corrupt count: bloq 255 is still judged, then one range line only.
    PutCount("99999");
    Put(255, Record(255, "CLI", 100));
    checkPIDs();
    EXPECT_EQ((std::vector<std::string>{"ERROR: ReadBloqFromSharedMemory: offset 256 fuera de rango",
                                        "WARNING: [WD] TASKKILL Pid: 000255",
                                        "ERROR: ReadBloqFromSharedMemory: offset 256 fuera de rango"}),
              LogLines());
    EXPECT_EQ(256, LastClientBloq(99999));
    EXPECT_EQ(256, LastClientBloq(254));
    EXPECT_EQ(255, LastClientBloq(253));
    EXPECT_EQ(-9997, LastClientBloq(-9999));
}

TEST_F(SweepTest, AnExceptionEndsTheRunKeepingWhatWasDone)
{
    PutCount("3    ");
    Put(3, Record(31, "CLI", 100));
    Put(4, Record(41, "CLI", 100));
    Put(5, Record(51, "CLI", 100));
    fake::openProcessThrowsFor = 41;
    checkPIDs();
    EXPECT_EQ((std::vector<std::string>{"WARNING: [WD] TASKKILL Pid: 000031",
                                        "ERROR: [WD] checkPIDs excepcion: std::bad_alloc"}),
              LogLines());
    EXPECT_TRUE(Empty(3));
    EXPECT_FALSE(Empty(4));
    EXPECT_FALSE(Empty(5));
}

// Whether the command runs for a stale record: only for a plain number, and
// not when the process now holding that number was created more than 2 s
// after the record was written, judged in UTC.
TEST_F(SweepTest, TheKillGuardJudgesPidTextsAndCreationTimesInUtc)
{
    enum Outcome { Run, NotNumber, Reused };
    struct GuardCase {
        const char* tz;
        long long written; // UTC seconds of the record's stamp, written in that zone
        long long created; // UTC seconds the process holding the pid was created; 0: none
        std::string pid;
        Outcome outcome;
    };
    const char* const Cet = "CET-1CEST,M3.5.0,M10.5.0/3";
    const long long Oct26 = 1761436800; // 2025-10-26 00:00 UTC: 02:00-03:00 CET is shown twice
    const GuardCase cases[] = {
        {"UTC0", Now - 100, 0, "000500", Run},
        {"UTC0", Now - 100, Now - 3600, "000500", Run},
        {"UTC0", Now - 100, Now - 98, "000500", Run}, // within the stamp's rounding
        {"UTC0", Now - 100, Now - 97, "000500", Reused},
        {"<+0530>-5:30", Now - 100, Now - 50, "000500", Reused},
        {"<+0530>-5:30", Now - 100, Now - 200, "000500", Run},
        {"<-03>3", Now - 100, Now - 50, "000500", Reused},
        // A hung writer created at 02:50 CEST that last wrote at 02:05 CET.
        {Cet, Oct26 + 3900, Oct26 + 3000, "000500", Run},
        // Created in the repeated hour after a record of 02:20: spared only
        // when later than 02:20 CET.
        {Cet, Oct26 + 1200, Oct26 + 5400, "000500", Reused},
        {Cet, Oct26 + 1200, Oct26 + 4200, "000500", Run},
        {"UTC0", Now - 100, Now - 50, "1&calc", NotNumber},
        {"UTC0", Now - 100, 0, "1|x", NotNumber},
        {"UTC0", Now - 100, 0, "<a", NotNumber},
        {"UTC0", Now - 100, 0, "^c", NotNumber},
        {"UTC0", Now - 100, 0, "\"d\"", NotNumber},
        {"UTC0", Now - 100, 0, "12 34", NotNumber},
        {"UTC0", Now - 100, 0, "-5", NotNumber},
        {"UTC0", Now - 100, 0, "+5", NotNumber},
        {"UTC0", Now - 100, 0, "", NotNumber},
    };
    for (const GuardCase& c : cases) {
        const std::string name = std::string(c.tz) + " '" + c.pid + "' created " + std::to_string(c.created);
        fake::ResetAll();
        segment_ = &CreateSegment();
        SegmentMappingHandle = nullptr;
        OpenSharedMemory();
        std::filesystem::remove(root_ + "/Log.txt");
        SetTimeZone(c.tz);
        fake::SetUnixTime(std::max(c.written, c.created) + 3600); // stale on any clock
        PutCount("1    ");
        const std::string record = "PID:" + c.pid + " TYP:CLI INI:" + LocalStampText(c.written);
        const std::string pid = record.substr(4, 6); // the field as the sweep takes it
        Put(3, record);
        if (c.created != 0)
            fake::processCreated[500] = c.created;
        const int handles = fake::OpenHandleCount();

        checkPIDs();

        const char* const lines[] = {"WARNING: [WD] TASKKILL Pid: ", "WARNING: [WD] TASKKILL omitido, Pid no válido: ",
                                     "WARNING: [WD] TASKKILL omitido, Pid reutilizado: "};
        EXPECT_EQ(std::vector<std::string>{lines[c.outcome] + pid}, LogLines()) << name;
        EXPECT_EQ(c.outcome == Run ? std::vector<std::string>{Kill(pid)} : std::vector<std::string>{},
                  fake::commands) << name;
        EXPECT_TRUE(Empty(3)) << name;
        EXPECT_EQ(handles, fake::OpenHandleCount()) << name;
    }
}

TEST_F(SweepTest, TheProcessStaysOpenUntilTheCommandHasReturned)
{
    PutCount("1    ");
    Put(3, Record(500, "CLI", 100));
    fake::processCreated[500] = Now - 3600;
    checkPIDs();
    const auto at = [](const std::string& call) {
        return std::find(fake::calls.begin(), fake::calls.end(), call) - fake::calls.begin();
    };
    EXPECT_LT(at("OpenProcess 500"), at("system"));
    EXPECT_LT(at("system"), at("CloseHandle process"));
    EXPECT_EQ(1, fake::CallCount("CloseHandle process"));

    // A caller that asks for the handle gets it open.
    HANDLE process = nullptr;
    EXPECT_EQ(KillRun, CheckKill("500", ParseStamp(Stamp(100)), &process));
    ASSERT_NE(nullptr, process);
    EXPECT_TRUE(CloseHandle(process));
}

TEST(RecordFieldTest, FindsTagsAnywhereOrFallsBackToPosition3)
{
    const std::string record = "PID:001234 TYP:CLI INI:05/03/24 07:08:09";
    EXPECT_EQ("001234", RecordField(record, "PID:", 6));
    EXPECT_EQ("CLI", RecordField(record, "TYP:", 3));
    EXPECT_EQ("05/03/24 07:08:09", RecordField(record, "INI:", std::string::npos));
    EXPECT_EQ(":XX", RecordField("PID:XX", "TYP:", 3));
    EXPECT_EQ("", RecordField("PID", "TYP:", 3));
    EXPECT_EQ("ab", RecordField("xx TYP:ab", "TYP:", 3));
}
