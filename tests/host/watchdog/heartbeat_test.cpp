#include "fake_kernel.h"
#include "watchdog_test.h"

#include "segment/heartbeat.h"
#include "segment/segment.h"

class HeartbeatTest : public WatchdogTest {
protected:
    static std::string Bloq(const std::vector<char>& segment, int index)
    {
        return std::string(segment.data() + index * BloqSize, BloqSize);
    }
};

TEST_F(HeartbeatTest, WritesTheRecordIntoBloq1Only)
{
    std::vector<char>& segment = CreateSegment();
    fake::SetUnixTime(1709622489); // 05/03/24 07:08:09 UTC
    fake::currentPid = 4;
    PingSharedMemory(1);
    EXPECT_EQ("PID:000004 TYP:WDG INI:05/03/24 07:08:09", Bloq(segment, 1));
    EXPECT_EQ(std::string(40, '\0'), Bloq(segment, 0));
    EXPECT_EQ(std::string(40, '\0'), Bloq(segment, 2));

    for (DWORD pid : {999999u, 1000000u, 4294967292u}) {
        fake::currentPid = pid;
        PingSharedMemory(1);
        EXPECT_EQ(40u, Bloq(segment, 1).size());
        EXPECT_EQ(std::string(40, '\0'), Bloq(segment, 2)) << pid; // the client count is never touched
        EXPECT_EQ("05/03/24 07:08:09", Bloq(segment, 1).substr(23));
    }
    EXPECT_EQ("PID:967292 ", Bloq(segment, 1).substr(0, 11)); // the last six digits
    fake::currentPid = 999999;
    PingSharedMemory(1);
    EXPECT_EQ("PID:999999 TYP:WDG INI:05/03/24 07:08:09", Bloq(segment, 1));

    PingSharedMemory(0);
    EXPECT_EQ(std::string(40, '\0'), Bloq(segment, 1));
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(HeartbeatTest, RetriesTheOpenOnEveryCallWhileTheSegmentIsMissing)
{
    PingSharedMemory(1);
    PingSharedMemory(0);
    const std::vector<std::string> twice = {"ERROR: [WD] Could not create file mapping object, error: 2",
                                            "ERROR: Memoria compartida no disponible",
                                            "ERROR: [WD] Could not create file mapping object, error: 2",
                                            "ERROR: Memoria compartida no disponible"};
    EXPECT_EQ(twice, LogLines());

    std::vector<char>& segment = CreateSegment();
    PingSharedMemory(1);
    EXPECT_EQ("PID:000004", Bloq(segment, 1).substr(0, 10));
    EXPECT_EQ(4u, LogLines().size());
    EXPECT_EQ(3, fake::CallCount("OpenFileMappingA"));
    PingSharedMemory(1); // open now: no further attempt
    EXPECT_EQ(3, fake::CallCount("OpenFileMappingA"));
}

TEST_F(HeartbeatTest, FailedWriteKeepsTheOldRecordAndReopensNextTime)
{
    std::vector<char>& segment = CreateSegment();
    PingSharedMemory(1);
    const std::string before = Bloq(segment, 1);
    fake::SetUnixTime(fake::UnixTime() + 30);
    fake::mapViewErrors = {1450};
    PingSharedMemory(1);
    EXPECT_EQ(before, Bloq(segment, 1));
    EXPECT_EQ(nullptr, SegmentMappingHandle);
    EXPECT_EQ((std::vector<std::string>{"ERROR: [WD] Could not map view of file write, error: 1450",
                                        "ERROR: Error escribiendo en memoria compartida"}),
              LogLines());
    PingSharedMemory(1);
    EXPECT_NE(before, Bloq(segment, 1));
}
