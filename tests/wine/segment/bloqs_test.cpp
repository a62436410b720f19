// The client table's bookkeeping on a segment in memory: where records go,
// how holes are packed, and what the count field says.
#include <client_bloqs.h>
#include <visible_text.h>

#include <segment/heartbeat.h>
#include <segment/segment.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Record(unsigned long pid, const char* stamp = "05/03/24 07:08:09")
{
    return BuildHeartbeatRecord(pid, "CLI", stamp);
}

std::string Tag(unsigned long pid) { return Record(pid).substr(0, 10); }

struct Bloqs : ::testing::Test {
    std::vector<char> segment = std::vector<char>(SegmentSize, '\0');
    char* view = segment.data();

    std::string Bloq(int index) const { return std::string(view + index * BloqSize, BloqSize); }
    std::string CountField() const { return std::string(view + ClientCountOffset, ClientCountSize); }
};

TEST_F(Bloqs, ClientsTakeTheLowestFreeBloqsAndTheCountFollows)
{
    EXPECT_EQ(CheckInClient(view, Record(11)), 3);
    EXPECT_EQ(CheckInClient(view, Record(22)), 4);
    EXPECT_EQ(CountField(), "2    ");
    EXPECT_EQ(Bloq(3), Record(11));

    // A refresh rewrites the same bloq.
    EXPECT_EQ(CheckInClient(view, Record(11, "05/03/24 07:08:15")), 3);
    EXPECT_EQ(Bloq(3), Record(11, "05/03/24 07:08:15"));
    EXPECT_EQ(CountField(), "2    ");
    // Bloqs 0 to 2 other than the count are never touched.
    EXPECT_EQ(std::string(view, 80), std::string(80, '\0'));
    EXPECT_EQ(std::string(view + 85, 35), std::string(35, '\0'));
}

TEST_F(Bloqs, LeavingFromTheMiddleMovesTheTopRecordDown)
{
    for (unsigned long pid : {11, 22, 33})
        CheckInClient(view, Record(pid));
    CheckOutClient(view, Tag(11));

    EXPECT_EQ(Bloq(3), Record(33));
    EXPECT_EQ(Bloq(4), Record(22));
    EXPECT_TRUE(IsEmptyBloq(view, 5));
    EXPECT_EQ(CountField(), "2    ");
    EXPECT_EQ(FindClientBloq(view, Tag(33)), 3);

    CheckOutClient(view, Tag(33));
    CheckOutClient(view, Tag(22));
    EXPECT_EQ(CountField(), "0    ");
    EXPECT_EQ(ReadClientCount(view), 0);
}

TEST_F(Bloqs, AHoleLeftByTheWatchdogIsPackedAtTheNextTouch)
{
    for (unsigned long pid : {11, 22, 33})
        CheckInClient(view, Record(pid));
    std::memset(view + 4 * BloqSize, 0, BloqSize); // the watchdog cleared client 22

    TidyClientBloqs(view);
    EXPECT_EQ(Bloq(4), Record(33));
    EXPECT_EQ(CountField(), "2    ");

    // The cleared client, still alive after all, takes a bloq again.
    EXPECT_EQ(CheckInClient(view, Record(22)), 5);
    EXPECT_EQ(CountField(), "3    ");
}

TEST_F(Bloqs, AFullTableRefusesNewcomersButKeepsRefreshing)
{
    for (int i = FirstClientBloq; i < BloqCount; ++i)
        CheckInClient(view, Record(1000 + i));
    EXPECT_EQ(CountField(), "253  ");
    const std::vector<char> before = segment;

    EXPECT_EQ(CheckInClient(view, Record(5)), -1);
    EXPECT_EQ(segment, before);
    EXPECT_EQ(CheckInClient(view, Record(1255, "05/03/24 07:09:00")), 255);
}

TEST_F(Bloqs, ForeignBytesInAClientBloqCountAsInUse)
{
    std::memcpy(view + 6 * BloqSize, "junk", 4);
    TidyClientBloqs(view);
    EXPECT_EQ(Bloq(3).substr(0, 4), "junk");
    EXPECT_EQ(ReadClientCount(view), 1);
    EXPECT_EQ(CheckInClient(view, Record(11)), 4);
}

TEST(ClientCount, ReadsDigitsAmongSpacesAndZeroBytes)
{
    const struct {
        const char field[6];
        int count;
    } cases[] = {
        {"2    ", 2}, {"  12\0", 12}, {"2\0\0\0\0", 2}, {"1 0  ", 10},
        {"\0\0\0\0\0", -1}, {"     ", -1}, {"1x   ", -1}, {"-1   ", -1},
    };
    for (const auto& c : cases) {
        std::vector<char> segment(SegmentSize, '\0');
        std::memcpy(segment.data() + ClientCountOffset, c.field, ClientCountSize);
        EXPECT_EQ(ReadClientCount(segment.data()), c.count) << std::string(c.field, 5);
    }
}

TEST(VisibleBloqText, ShowsZeroBytesAndUnprintablesVisibly)
{
    const std::string record = Record(42);
    EXPECT_EQ(VisibleBloqText(record), record);
    EXPECT_EQ(VisibleBloqText(std::string("1    ") + std::string(35, '\0')), "1    \\0 x 35");
    EXPECT_EQ(VisibleBloqText(std::string("ab\0c\0", 5)), "ab\\0c\\0");
    EXPECT_EQ(VisibleBloqText(std::string("a\x01\xE9\\")), "a\\x01\\xE9\\\\");
    EXPECT_EQ(VisibleBloqText(std::string(40, '\0')), "\\0 x 40");
}

} // namespace
