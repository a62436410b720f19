#include "fake_kernel.h"
#include "fake_process.h"
#include "fake_service.h"
#include "watchdog_test.h"

#include "segment/heartbeat.h"
#include "segment/segment.h"
#include "shell/log.h"
#include "sweep/sweep.h"

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
    EXPECT_EQ((std::vector<std::string>{"taskkill /F /PID 001234", "taskkill /F /PID 003456"}), fake::commands);
    EXPECT_EQ((std::vector<std::string>{"WARNING: [WD] TASKKILL Pid: 001234", "WARNING: [WD] TASKKILL Pid: 003456"}),
              LogLines());
    EXPECT_TRUE(Empty(3));
    EXPECT_FALSE(Empty(4));
    EXPECT_TRUE(Empty(5));
    EXPECT_FALSE(Empty(1));
    EXPECT_TRUE(fake::CallsStartingWith("OpenSCManagerA").empty());
}

TEST_F(SweepTest, RecordsWithoutAValidStampAreStale)
{
    PutCount("3    ");
    Put(3, "PID:000011 TYP:CLI INI:99/99/99 99:99:99");
    Put(4, "PID:000012 TYP:CLI");                 // no INI: the stamp is read from position 3
    Put(5, std::string("PID:12") + std::string(34, '\0')); // the pid text ends at its first NUL
    checkPIDs();
    EXPECT_EQ((std::vector<std::string>{"taskkill /F /PID 000011", "taskkill /F /PID 000012", "taskkill /F /PID 12"}),
              fake::commands);
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

    PutCount("99999");
    Put(255, Record(255, "CLI", 100));
    checkPIDs();
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(1u + 1 + 99746, lines.size());
    EXPECT_EQ("WARNING: [WD] TASKKILL Pid: 000255", lines[1]); // bloq 255 is still judged first
    EXPECT_EQ("ERROR: ReadBloqFromSharedMemory: offset 100001 fuera de rango", lines.back());
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

TEST_F(SweepTest, PidTextsThatAreNoPlainNumberNeverReachTheShell)
{
    const std::vector<std::string> hostile = {"1&calc", "1|x", "<a", ">b", "^c", "\"d\"", "12 34", "-5", "+5", "abc", ""};
    PutCount(std::to_string(hostile.size()) + std::string(5 - std::to_string(hostile.size()).size(), ' '));
    for (size_t i = 0; i < hostile.size(); ++i)
        Put(3 + static_cast<int>(i), "PID:" + hostile[i] + " TYP:CLI INI:" + Stamp(100));
    checkPIDs();
    EXPECT_TRUE(fake::commands.empty());
    // The log reads as it always did: one WARNING per stale record, every bloq cleared.
    EXPECT_EQ(hostile.size(), LogLines().size());
    for (size_t i = 0; i < hostile.size(); ++i)
        EXPECT_TRUE(Empty(3 + static_cast<int>(i))) << hostile[i];
}

TEST_F(SweepTest, AReusedProcessNumberIsNotKilled)
{
    PutCount("2    ");
    Put(3, Record(500, "CLI", 100)); // its writer died; 500 now belongs to a newer process
    Put(4, Record(600, "CLI", 100)); // a hung client that wrote its own record
    fake::processCreated[500] = Now - 50;
    fake::processCreated[600] = Now - 3600;
    checkPIDs();
    EXPECT_EQ((std::vector<std::string>{"taskkill /F /PID 000600"}), fake::commands);
    EXPECT_EQ((std::vector<std::string>{"WARNING: [WD] TASKKILL Pid: 000500", "WARNING: [WD] TASKKILL Pid: 000600"}),
              LogLines());
    EXPECT_TRUE(Empty(3));
    EXPECT_TRUE(Empty(4));

    // Created within the rounding of the stamp: it may be the writer.
    Put(3, Record(700, "CLI", 100));
    fake::processCreated[700] = Now - 98;
    checkPIDs();
    EXPECT_EQ("taskkill /F /PID 000700", fake::commands.back());
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
