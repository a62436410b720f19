#include "fixture.h"
#include "fake_kernel.h"

#include "shell/log.h"

#include <filesystem>
#include <fstream>
#include <string>

class LogTest : public HostTest {};

TEST_F(LogTest, WritesStampLevelAndMessageWithCrLf)
{
    fake::SetUnixTime(1765191605); // 08/12/25 11:00:05 UTC
    WriteLog(LOG_ERROR, "[WD] Timer no creado");
    EXPECT_EQ("[08/12/25 11:00:05] ERROR: [WD] Timer no creado\r\n", LogBytes());
}

TEST_F(LogTest, NamesEveryLevelAndOtrosForOthers)
{
    const int levels[] = {0, 1, 2, 3, 4, 9, -1, 5};
    for (int level : levels)
        WriteLog(level, "m");
    const std::vector<std::string> expected = {"DEBUG: m", "INFO: m",  "WARNING: m", "ERROR: m",
                                               "CRITICO: m", "OTROS: m", "OTROS: m", "OTROS: m"};
    EXPECT_EQ(expected, LogLines());
}

TEST_F(LogTest, AppendsInCallOrderAndFormatsArguments)
{
    std::ofstream(root_ + "/Log.txt", std::ios::binary) << "older line\r\n";
    WriteLog(LOG_INFO, "[WD] WM_LOGINOFF: %u", 17u);
    WriteLog(LOG_ERROR, "x %d y %s", -5, "z");
    EXPECT_EQ("older line\r\n"
              "[08/12/25 11:00:05] INFO: [WD] WM_LOGINOFF: 17\r\n"
              "[08/12/25 11:00:05] ERROR: x -5 y z\r\n",
              LogBytes());
}

TEST_F(LogTest, CutsTheMessageAfter1023Bytes)
{
    const std::string longText(1500, 'a');
    WriteLog(LOG_INFO, "%s", longText.c_str());
    EXPECT_EQ("[08/12/25 11:00:05] INFO: " + std::string(1023, 'a') + "\r\n", LogBytes());
}

TEST_F(LogTest, StoresEveryLineFeedOfTheMessageAsCrLf)
{
    WriteLog(LOG_ERROR, "a\nb\n c");
    EXPECT_EQ("[08/12/25 11:00:05] ERROR: a\r\nb\r\n c\r\n", LogBytes());
}

TEST_F(LogTest, KeepsUtf8Bytes)
{
    WriteLog(LOG_ERROR, "[WD] RegisterClassEx falló, error: %d", 5);
    EXPECT_EQ("[08/12/25 11:00:05] ERROR: [WD] RegisterClassEx fall\xC3\xB3, error: 5\r\n", LogBytes());
}

TEST_F(LogTest, UsesLocalTime)
{
    SetTimeZone("CET-1");
    WriteLog(LOG_INFO, "m");
    EXPECT_EQ("[08/12/25 12:00:05] INFO: m\r\n", LogBytes());
}

TEST_F(LogTest, DoesNothingWhenTheFolderIsMissing)
{
    const std::string deep = work_ + "/a/b";
    std::filesystem::create_directories(deep);
    ASSERT_EQ(0, chdir(deep.c_str()));
    std::filesystem::remove_all(work_ + "/a");
    WriteLog(LOG_ERROR, "lost");
    EXPECT_FALSE(std::filesystem::exists(work_ + "/a/Log.txt"));
    ASSERT_EQ(0, chdir(work_.c_str()));
    WriteLog(LOG_ERROR, "kept");
    EXPECT_EQ(std::vector<std::string>{"ERROR: kept"}, LogLines());
}
