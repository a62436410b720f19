// The client table's bookkeeping on a segment in memory: where records go,
// what the count field says, and which pids a client refuses.
#include <client_bloqs.h>
#include <record_pid.h>
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

// A client table as text, one character per bloq from 3 on: a letter is a
// client record (a = pid 11, b = 22, ...), '_' an empty bloq, '#' bytes that
// are no record. Bloqs past the end of the text are empty.
unsigned long PidOf(char c) { return 11ul * static_cast<unsigned long>(c - 'a' + 1); }

void Lay(char* view, const std::string& table)
{
    for (size_t i = 0; i < table.size(); ++i) {
        char* bloq = view + (FirstClientBloq + static_cast<int>(i)) * BloqSize;
        if (table[i] == '#')
            std::memcpy(bloq, "junk", 4);
        else if (table[i] != '_')
            std::memcpy(bloq, Record(PidOf(table[i])).data(), BloqSize);
    }
}

std::string Table(const char* view)
{
    std::string table;
    for (int i = FirstClientBloq; i < BloqCount; ++i) {
        const std::string bloq(view + i * BloqSize, BloqSize);
        if (IsEmptyBloq(view, i))
            table += '_';
        else if (bloq.compare(0, 4, "PID:") == 0)
            table += static_cast<char>('a' + std::stoul(bloq.substr(4, 6)) / 11 - 1);
        else
            table += '#';
    }
    return table.substr(0, table.find_last_not_of('_') + 1);
}

// No record ever moves: holes stay until a newcomer fills the lowest one, and
// the count covers the highest bloq in use.
TEST(ClientTable, RecordsStayWhereTheyAreAndTheCountCoversTheTop)
{
    const struct {
        const char* before;
        char op;     // '+' check in, '-' check out, '=' tidy only (the server's heartbeat)
        char client; // the one checking in or out
        int taken;   // the bloq it took before, -1 for none
        int bloq;    // what CheckInClient returns
        const char* after;
        const char* count;
    } cases[] = {
        {"", '+', 'a', -1, 3, "a", "1    "},
        {"a", '+', 'b', -1, 4, "ab", "2    "},
        {"ab", '+', 'a', 3, 3, "ab", "2    "},   // a refresh rewrites the same bloq
        {"ab", '+', 'b', -1, 4, "ab", "2    "},  // found by its pid tag
        {"a_c", '+', 'd', -1, 4, "adc", "3    "}, // a newcomer fills the lowest hole
        {"_bc", '+', 'a', 3, 3, "abc", "3    "}, // cleared by the watchdog: back in its own bloq
        {"d_c", '+', 'a', 3, 4, "dac", "3    "}, // its bloq was taken meanwhile
        {"ba", '+', 'a', 4, 4, "ba", "2    "},   // a stray copy elsewhere does not pull it away
        {"abc", '-', 'a', 3, 0, "_bc", "3    "}, // leaving from the middle moves nothing
        {"a_c", '-', 'c', 5, 0, "a", "1    "},   // the count drops past the free bloqs
        {"ab", '-', 'b', -1, 0, "a", "1    "},   // found by its pid tag
        {"a__", '=', 0, -1, 0, "a", "1    "},
        {"__#", '=', 0, -1, 0, "__#", "3    "}, // foreign bytes count as in use
        {"", '=', 0, -1, 0, "", "0    "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.before) + " " + c.op + c.client);
        std::vector<char> segment(SegmentSize, '\0');
        char* view = segment.data();
        Lay(view, c.before);
        std::memcpy(view + ClientCountOffset, "9    ", ClientCountSize);
        const std::string fresh = Record(PidOf(c.client), "05/03/24 07:08:15");
        if (c.op == '+') {
            EXPECT_EQ(CheckInClient(view, fresh, c.taken), c.bloq);
            EXPECT_EQ(std::string(view + c.bloq * BloqSize, BloqSize), fresh);
        } else if (c.op == '-') {
            CheckOutClient(view, Tag(PidOf(c.client)), c.taken);
        } else {
            TidyClientBloqs(view);
        }
        EXPECT_EQ(Table(view), c.after);
        EXPECT_EQ(std::string(view + ClientCountOffset, ClientCountSize), c.count);
        // Bloqs 0 to 2 other than the count are never touched.
        EXPECT_EQ(std::string(view, 80), std::string(80, '\0'));
        EXPECT_EQ(std::string(view + 85, 35), std::string(35, '\0'));
    }
}

TEST(ClientTable, AFullTableRefusesNewcomersButKeepsRefreshing)
{
    std::vector<char> segment(SegmentSize, '\0');
    char* view = segment.data();
    for (int i = FirstClientBloq; i < BloqCount; ++i)
        CheckInClient(view, Record(1000 + i));
    EXPECT_EQ(ReadClientCount(view), 253);
    const std::vector<char> before = segment;

    EXPECT_EQ(CheckInClient(view, Record(5)), -1);
    EXPECT_EQ(segment, before);
    EXPECT_EQ(CheckInClient(view, Record(1255, "05/03/24 07:09:00"), 255), 255);
}

// Pids above six digits cannot be recorded; the client refuses to run with
// them (Wine hands out small pids, so only the rule can be shown here).
TEST(ClientPid, OnlyPidsOfMoreThanSixDigitsAreRefused)
{
    const struct {
        unsigned long pid;
        bool refused;
    } cases[] = {{4, false}, {999999, false}, {1000000, true}, {1234567, true}, {4294967295ul, true}};
    for (const auto& c : cases) {
        const std::string why = PidRefusal(c.pid);
        if (c.refused)
            EXPECT_NE(why.find(std::to_string(c.pid) + " has more than six digits"), std::string::npos) << why;
        else
            EXPECT_EQ(why, "") << c.pid;
    }
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
