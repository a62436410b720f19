#include "fixture.h"
#include "fake_kernel.h"
#include "fake_launcher.h"

#include "launch.h"

#include <string>
#include <vector>

namespace {

const wchar_t NoFolder[] = L"No se pudo determinar la carpeta del programa.";
const wchar_t NotStarted[] = L"Error al ejecutar el archivo.";

class LauncherTest : public HostTest {
protected:
    void ExpectOneErrorBox(const wchar_t* text)
    {
        ASSERT_EQ(1u, fake::messageBoxes.size());
        const fake::MessageBox& box = fake::messageBoxes[0];
        EXPECT_EQ(std::wstring(text), box.text);
        EXPECT_EQ(L"Error", box.caption);
        EXPECT_EQ(0x10u, box.type);
        EXPECT_EQ(nullptr, box.owner);
    }
};

TEST_F(LauncherTest, StartsTheBuildThatTheWow64AnswerSelects)
{
    struct Case {
        const char* what;
        std::string modulePath;
        BOOL result;
        bool writes;
        BOOL answer;
        std::string commandLine;
        std::string currentDirectory;
    };
    const std::string longFolder = "C:\\" + std::string(259 - 3 - 18, 'p');
    const Case cases[] = {
        {"64-bit Windows", "C:\\Prod\\Start\\pellmar.exe", TRUE, true, TRUE,
         "\"C:\\Prod\\Bin64\\dravik.exe\"", "C:\\Prod\\"},
        {"32-bit Windows", "C:\\Prod\\Start\\pellmar.exe", TRUE, true, FALSE,
         "\"C:\\Prod\\Bin32\\dravik.exe\"", "C:\\Prod\\"},
        {"an answer other than TRUE", "C:\\Prod\\Start\\pellmar.exe", TRUE, true, 2,
         "\"C:\\Prod\\Bin32\\dravik.exe\"", "C:\\Prod\\"},
        {"a negative answer", "C:\\Prod\\Start\\pellmar.exe", TRUE, true, -1,
         "\"C:\\Prod\\Bin32\\dravik.exe\"", "C:\\Prod\\"},
        {"a failed query", "C:\\Prod\\Start\\pellmar.exe", FALSE, false, TRUE,
         "\"C:\\Prod\\Bin32\\dravik.exe\"", "C:\\Prod\\"},
        {"the query's own result is not looked at", "C:\\Prod\\Start\\pellmar.exe", FALSE, true,
         TRUE, "\"C:\\Prod\\Bin64\\dravik.exe\"", "C:\\Prod\\"},
        {"spaces in the product folder", "C:\\My Prod\\Start Here\\pellmar.exe", TRUE, true, TRUE,
         "\"C:\\My Prod\\Bin64\\dravik.exe\"", "C:\\My Prod\\"},
        {"launcher one level below a drive root", "C:\\Start\\pellmar.exe", TRUE, true, FALSE,
         "\"C:\\Bin32\\dravik.exe\"", "C:\\"},
        {"longest module path", longFolder + "\\Start\\pellmar.exe", TRUE, true, TRUE,
         "\"" + longFolder + "\\Bin64\\dravik.exe\"", longFolder + "\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::ResetAll();
        fake::modulePath = c.modulePath;
        fake::wow64Result = c.result;
        fake::wow64Writes = c.writes;
        fake::wow64Answer = c.answer;

        EXPECT_EQ(0, RunLauncher());

        ASSERT_EQ(1u, fake::processStarts.size());
        const fake::ProcessStart& start = fake::processStarts[0];
        EXPECT_EQ(c.commandLine, start.commandLine);
        EXPECT_EQ(c.currentDirectory, start.currentDirectory);
        EXPECT_TRUE(fake::messageBoxes.empty());
    }
}

TEST_F(LauncherTest, StartsWithNothingButTheCommandLineAndTheFolder)
{
    EXPECT_EQ(0, RunLauncher());

    ASSERT_EQ(1u, fake::processStarts.size());
    const fake::ProcessStart& start = fake::processStarts[0];
    EXPECT_TRUE(start.applicationNull);
    EXPECT_TRUE(start.processAttributesNull);
    EXPECT_TRUE(start.threadAttributesNull);
    EXPECT_EQ(FALSE, start.inherit);
    EXPECT_EQ(0u, start.flags);
    EXPECT_TRUE(start.environmentNull);
    EXPECT_FALSE(start.currentDirectoryNull);
    EXPECT_EQ(sizeof(STARTUPINFOA), start.startupSize);
    EXPECT_TRUE(start.startupRestZero);
}

TEST_F(LauncherTest, ClosesBothHandlesWithoutWaiting)
{
    fake::wow64Answer = TRUE;
    EXPECT_EQ(0, RunLauncher());

    const std::vector<std::string> expected = {"GetModuleFileNameA", "IsWow64Process",
                                               "CreateProcessA", "CloseHandle process", "CloseHandle thread"};
    EXPECT_EQ(expected, fake::calls);
    EXPECT_EQ(0, fake::OpenHandleCount());
}

TEST_F(LauncherTest, NoProductFolderShowsTheFirstBoxAndStartsNothing)
{
    struct Case {
        const char* what;
        std::string modulePath;
        DWORD error;
    };
    const Case cases[] = {
        {"launcher in the root of a drive", "C:\\pellmar.exe", 0},
        {"module path of 260 characters", "C:\\" + std::string(245, 'a') + "\\pellmar.exe", 0},
        {"module path without a backslash", "pellmar.exe", 0},
        {"forward slashes only", "C:/Prod/Start/pellmar.exe", 0},
        {"module path unavailable", "C:\\Prod\\Start\\pellmar.exe", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::ResetAll();
        fake::modulePath = c.modulePath;
        fake::moduleFileNameError = c.error;

        EXPECT_EQ(0, RunLauncher());

        ExpectOneErrorBox(NoFolder);
        EXPECT_TRUE(fake::processStarts.empty());
        EXPECT_EQ(0, fake::CallCount("IsWow64Process"));
    }
}

TEST_F(LauncherTest, FailedStartShowsTheSecondBoxAndTriesNoOtherBuild)
{
    for (BOOL answer : {TRUE, FALSE}) {
        SCOPED_TRACE(answer);
        fake::ResetAll();
        fake::wow64Answer = answer;
        fake::createProcessError = ERROR_FILE_NOT_FOUND;

        EXPECT_EQ(0, RunLauncher());

        ExpectOneErrorBox(NotStarted);
        EXPECT_EQ(1u, fake::processStarts.size());
        EXPECT_EQ(0, fake::CallCount("CloseHandle process") + fake::CallCount("CloseHandle thread"));
        EXPECT_EQ(0, fake::OpenHandleCount());
    }
}

} // namespace
