#include "fake_kernel.h"
#include "watchdog_test.h"

#include "segment/heartbeat.h"
#include "segment/segment.h"

#include <cstring>

class SegmentTest : public WatchdogTest {
protected:
    void Open()
    {
        OpenSharedMemory();
        ASSERT_NE(nullptr, SegmentMappingHandle);
        fake::calls.clear();
    }

    static std::string Bytes(const std::vector<char>& segment, int offset, int length)
    {
        return std::string(segment.data() + offset, length);
    }
};

TEST_F(SegmentTest, OpensMutexThenMapping)
{
    CreateSegment();
    OpenSharedMemory();
    EXPECT_NE(nullptr, SegmentMutexHandle);
    EXPECT_NE(nullptr, SegmentMappingHandle);
    EXPECT_EQ((std::vector<std::string>{"CreateMutexA", "OpenFileMappingA"}), fake::calls);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(SegmentTest, OpenFailuresAreLoggedAndLeaveTheSegmentClosed)
{
    // A heartbeat a minute for a day without the mapping: one mutex handle held.
    for (int run = 0; run < 1440; ++run)
        OpenSharedMemory();
    EXPECT_NE(nullptr, SegmentMutexHandle);
    EXPECT_EQ(nullptr, SegmentMappingHandle);
    EXPECT_EQ(1, fake::OpenHandleCount());

    fake::createMutexError = ERROR_ACCESS_DENIED;
    OpenSharedMemory(); // the mapping is not tried without the mutex
    EXPECT_EQ(nullptr, SegmentMutexHandle);
    EXPECT_EQ(0, fake::OpenHandleCount());
    EXPECT_EQ(1440, fake::CallCount("OpenFileMappingA"));

    const std::vector<std::string> log = LogLines();
    ASSERT_EQ(1441u, log.size());
    EXPECT_EQ("ERROR: [WD] Could not create file mapping object, error: 2", log[1439]);
    EXPECT_EQ("ERROR: [WD] CreateMutex en OpenSharedMemory, error: 5", log[1440]);

    CreateSegment(); // the server is back
    OpenSharedMemory();
    EXPECT_NE(nullptr, SegmentMappingHandle);
    EXPECT_EQ(2, fake::OpenHandleCount());
}

TEST_F(SegmentTest, ReadsAndClearsBloqsUnderTheMutex)
{
    std::vector<char>& segment = CreateSegment();
    Open();
    std::memcpy(segment.data() + 10200, "last bloq", 9);
    std::memcpy(segment.data() + 120, "0123456789012345678901234567890123456789", 40);

    EXPECT_EQ(std::string("last bloq") + std::string(31, '\0'), ReadBloqFromSharedMemory(255));
    EXPECT_EQ("0123456789012345678901234567890123456789", ReadBloqFromSharedMemory(3));
    EXPECT_EQ(1, ClearBloqSharedMemory(255));
    EXPECT_EQ(std::string(40, '\0'), Bytes(segment, 10200, 40));
    EXPECT_EQ(1, ClearBloqSharedMemory(255)); // already empty
    EXPECT_EQ("0123456789012345678901234567890123456789", ReadBloqFromSharedMemory(3));

    // Every access: wait, map, copy, unmap, release; nothing stays mapped.
    EXPECT_EQ(5, fake::mutexWaits);
    EXPECT_EQ(5, fake::mutexReleases);
    EXPECT_EQ(0, fake::viewsMapped);
    EXPECT_EQ((std::vector<std::string>{"WaitForSingleObject", "MapViewOfFile", "UnmapViewOfFile",
                                        "ReleaseMutex"}),
              std::vector<std::string>(fake::calls.begin(), fake::calls.begin() + 4));
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(SegmentTest, RefusesIndexesOutsideTheSegmentWithoutLocking)
{
    CreateSegment();
    Open();
    for (int index : {256, -1}) {
        EXPECT_EQ("", ReadBloqFromSharedMemory(index));
        EXPECT_EQ(0, ClearBloqSharedMemory(index));
    }
    EXPECT_EQ(0, fake::mutexWaits);
    EXPECT_EQ((std::vector<std::string>{"ERROR: ReadBloqFromSharedMemory: offset 256 fuera de rango",
                                        "ERROR: [WD] Offset out of range in ClearBloqSharedMemory",
                                        "ERROR: ReadBloqFromSharedMemory: offset -1 fuera de rango",
                                        "ERROR: [WD] Offset out of range in ClearBloqSharedMemory"}),
              LogLines());
}

TEST_F(SegmentTest, WithoutMappingReadsZeroBytesSilently)
{
    EXPECT_EQ(std::string(40, '\0'), ReadBloqFromSharedMemory(0));
    EXPECT_EQ(0, ClearBloqSharedMemory(3));
    EXPECT_EQ(std::string(5, '\0'), ReadClientCountField());
    EXPECT_EQ(0, fake::mutexWaits);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(SegmentTest, FailedViewDropsTheMappingUntilTheNextHeartbeat)
{
    std::vector<char>& segment = CreateSegment();
    Open();
    std::memcpy(segment.data() + 80, "  3", 3);
    fake::mapViewErrors = {8};
    EXPECT_EQ("", ReadBloqFromSharedMemory(0));
    EXPECT_EQ(nullptr, SegmentMappingHandle);
    EXPECT_NE(nullptr, SegmentMutexHandle);
    EXPECT_EQ(fake::mutexWaits, fake::mutexReleases);

    // Silent zero bytes from now on...
    EXPECT_EQ(std::string(40, '\0'), ReadBloqFromSharedMemory(0));
    EXPECT_EQ(std::string(5, '\0'), ReadClientCountField());
    EXPECT_EQ(1, fake::OpenHandleCount()); // only the mutex is left

    // ...until the heartbeat opens the segment again.
    PingSharedMemory(1);
    EXPECT_NE(nullptr, SegmentMappingHandle);
    EXPECT_EQ(std::string("  3\0\0", 5), ReadClientCountField());

    // Each operation has its own map-failure message and result.
    fake::mapViewErrors = {5};
    EXPECT_EQ(0, ClearBloqSharedMemory(3));
    PingSharedMemory(1); // reopens
    fake::mapViewErrors = {6};
    EXPECT_EQ("", ReadClientCountField());
    EXPECT_EQ((std::vector<std::string>{"ERROR: Could not map view of file read, error: 8",
                                        "ERROR: [WD] Could not map view of file write, error: 5",
                                        "ERROR: [WD] Could not map view of file read, error: 6"}),
              LogLines());
}

TEST_F(SegmentTest, AnAbandonedMutexStillCountsAsTaken)
{
    // The fake's wait always succeeds; what matters is that the access never
    // looks at the wait's result, so WAIT_ABANDONED reads and writes as usual.
    std::vector<char>& segment = CreateSegment();
    Open();
    segment[0] = 'P';
    EXPECT_EQ('P', ReadBloqFromSharedMemory(0)[0]);
}
