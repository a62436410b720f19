#include "fixture.h"
#include "fake_launcher.h"

#include "paths.h"

#include <string>

namespace {

struct ParentCase {
    const char* folder;
    const char* parent;
};

const ParentCase ParentCases[] = {
    {"C:\\Prod\\Start\\", "C:\\Prod\\"},
    {"C:\\A\\", "C:\\"},
    {"C:\\", ""},
    {"", ""},
    {"\\", ""},
    {"C", ""},
    {"Start", ""},
    {"Prod\\Start\\", "Prod\\"},
    {"C:\\My Prod\\Start Here\\", "C:\\My Prod\\"},
    {"\\\\server\\share\\Start\\", "\\\\server\\share\\"},
    // Forward slashes are not separators.
    {"C:/Prod/Start/", ""},
    {"C:\\Prod/Start/", "C:\\"},
    {"C:\\Prod\\Start/", "C:\\Prod\\"},
};

TEST(GetParentDir, Table)
{
    for (const ParentCase& c : ParentCases)
        EXPECT_EQ(c.parent, GetParentDir(c.folder)) << "folder: " << c.folder;
}

// A module path of exactly `length` characters ending in "\pellmar.exe".
std::string PathOfLength(size_t length)
{
    const std::string tail = "\\pellmar.exe";
    return "C:\\" + std::string(length - 3 - tail.size(), 'a') + tail;
}

class GetModuleDirTest : public HostTest {};

TEST_F(GetModuleDirTest, Table)
{
    struct Case {
        std::string path;
        std::string dir;
    };
    const std::string longest = PathOfLength(259);
    const Case cases[] = {
        {"C:\\Prod\\Start\\pellmar.exe", "C:\\Prod\\Start\\"},
        {"C:\\My Prod\\Start\\pellmar.exe", "C:\\My Prod\\Start\\"},
        {"C:\\pellmar.exe", "C:\\"},
        {"pellmar.exe", ""},
        {"C:/Prod/Start/pellmar.exe", ""},
        {"C:\\Prod/Start/pellmar.exe", "C:\\"},
        {longest, longest.substr(0, 259 - 11)},
        // 260 characters and more do not fit the buffer with its terminator.
        {PathOfLength(260), ""},
        {PathOfLength(400), ""},
    };
    for (const Case& c : cases) {
        fake::modulePath = c.path;
        EXPECT_EQ(c.dir, GetModuleDir()) << "path of " << c.path.size() << ": " << c.path;
    }
}

TEST_F(GetModuleDirTest, AsksForItsOwnExecutableWithA260CharacterBuffer)
{
    EXPECT_EQ("C:\\Prod\\Start\\", GetModuleDir());
    EXPECT_EQ(nullptr, fake::moduleAsked);
    EXPECT_EQ(260u, fake::moduleBufferSize);
}

TEST_F(GetModuleDirTest, FailureGivesEmpty)
{
    fake::moduleFileNameError = ERROR_ACCESS_DENIED;
    EXPECT_EQ("", GetModuleDir());
}

} // namespace
