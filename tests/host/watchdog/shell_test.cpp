#include "fake_kernel.h"
#include "fake_process.h"
#include "fake_user.h"
#include "watchdog_test.h"

#include "segment/heartbeat.h"
#include "segment/segment.h"
#include "shell/shell.h"

#include <cstring>

class ShellTest : public WatchdogTest {
protected:
    void SetUp() override
    {
        WatchdogTest::SetUp();
        segment_ = &CreateSegment();
        fake::currentPid = 40;
        fake::processList = {{4, "System"}, {40, "tolvane.exe"}};
    }
    std::string Bloq(int index) const { return std::string(segment_->data() + index * BloqSize, BloqSize); }
    int Heartbeats() const { return fake::mutexWaits; }

    std::vector<char>* segment_ = nullptr;
};

TEST_F(ShellTest, OnlyTheFirstProcessNamedExactlyTolvaneRuns)
{
    struct Case {
        std::vector<fake::ProcessEntry> list;
        bool runs;
    };
    const Case cases[] = {
        {{{4, "System"}, {40, "tolvane.exe"}}, true},
        {{{30, "tolvane.exe"}, {40, "tolvane.exe"}}, false}, // another copy came first
        {{{40, "Tolvane.exe"}}, false},                      // letter case matters
        {{{40, "tolvane.exe.bak"}}, false},
        {{{40, "copy.exe"}}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        fake::processList = c.list;
        EXPECT_EQ(c.runs, IsFirstWatchdog());
    }
    fake::processList = {{40, "tolvane.exe"}};
    fake::snapshotFails = true;
    EXPECT_FALSE(IsFirstWatchdog());
}

TEST_F(ShellTest, ASecondCopyEndsAtOnceWithoutTrace)
{
    fake::processList = {{30, "tolvane.exe"}, {40, "tolvane.exe"}};
    EXPECT_EQ(0, RunWatchdog(nullptr));
    EXPECT_EQ(std::string(40, '\0'), Bloq(1));
    EXPECT_EQ(0, fake::CallCount("RegisterClassExA"));
    EXPECT_EQ("", LogBytes());
}

TEST_F(ShellTest, RunsAHiddenWindowWithItsTimerAndCleansUpOnClose)
{
    fake::PostToWindow(WM_CLOSE);
    EXPECT_EQ(0, RunWatchdog(nullptr));

    EXPECT_STREQ("WD AsyncSelect", fake::registeredClass.lpszClassName);
    EXPECT_EQ(0u, fake::registeredClass.style);
    EXPECT_EQ(nullptr, fake::registeredClass.hIcon);
    const std::vector<std::string> expected = {
        "CreateWindowExA WD AsyncSelect|Kelm WatchDog|" + std::to_string(WS_OVERLAPPEDWINDOW),
        "SetTimer 1001 30000", "ShowWindow 0", "UpdateWindow", "DestroyWindow", "KillTimer 1001", "PostQuitMessage"};
    std::vector<std::string> window;
    for (const std::string& call : fake::calls)
        if (call.rfind("CreateWindow", 0) == 0 || call.rfind("SetTimer", 0) == 0 || call.rfind("ShowWindow", 0) == 0 ||
            call == "UpdateWindow" || call == "DestroyWindow" || call.rfind("KillTimer", 0) == 0 ||
            call == "PostQuitMessage")
            window.push_back(call);
    EXPECT_EQ(expected, window);
    // The first heartbeat came before the class was registered; close cleared it.
    EXPECT_EQ(2, Heartbeats());
    EXPECT_EQ(std::string(40, '\0'), Bloq(1));
    EXPECT_EQ("", LogBytes());
}

TEST_F(ShellTest, StartupFailuresEndTheProgramKeepingTheFirstHeartbeat)
{
    fake::registerClassFails = true;
    EXPECT_EQ(0, RunWatchdog(nullptr));
    EXPECT_EQ((std::vector<std::string>{"ERROR: [WD] RegisterClassEx falló, error: 1410"}), LogLines());
    EXPECT_EQ("PID:000040", Bloq(1).substr(0, 10));

    fake::registerClassFails = false;
    fake::createWindowFails = true;
    EXPECT_EQ(0, RunWatchdog(nullptr));
    EXPECT_EQ(1u, LogLines().size());
    EXPECT_EQ(0, fake::CallCount("ShowWindow 0"));
}

TEST_F(ShellTest, WithoutATimerTheWindowStillRunsUntilClosed)
{
    fake::setTimerFails = true;
    fake::PostToWindow(WM_ENDSESSION, 1);
    EXPECT_EQ(0, RunWatchdog(nullptr));
    EXPECT_EQ((std::vector<std::string>{"ERROR: [WD] Timer no creado", "INFO: [WD] WM_LOGINOFF: 22"}), LogLines());
    EXPECT_EQ(std::string(40, '\0'), Bloq(1));
}

TEST_F(ShellTest, HeartbeatOnEveryTickSweepOnEverySecond)
{
    HWND window = reinterpret_cast<HWND>(1);
    OpenSharedMemory();
    // A stale client that every sweep would kill shows when sweeps happen.
    std::memcpy(segment_->data() + 80, "1", 1);
    auto plantStaleClient = [&] {
        const std::string record = BuildHeartbeatRecord(77, "CLI", "01/01/20 00:00:00");
        std::memcpy(segment_->data() + 3 * BloqSize, record.data(), BloqSize);
    };
    plantStaleClient();

    const int before = Heartbeats();
    EXPECT_EQ(0, WatchdogWndProc(window, WM_TIMER, 1001, 0));
    EXPECT_EQ(1, TimerTicks);
    EXPECT_TRUE(fake::commands.empty());
    EXPECT_EQ(0, WatchdogWndProc(window, WM_TIMER, 7, 0)); // another timer changes nothing
    EXPECT_EQ(1, TimerTicks);
    WatchdogWndProc(window, WM_TIMER, 1001, 0);
    EXPECT_EQ(0, TimerTicks);
    EXPECT_EQ(1u, fake::commands.size());
    plantStaleClient();
    WatchdogWndProc(window, WM_TIMER, 1001, 0);
    EXPECT_EQ(1u, fake::commands.size());
    WatchdogWndProc(window, WM_TIMER, 1001, 0);
    EXPECT_EQ(2u, fake::commands.size());
    // Four heartbeats, and the sweeps' reads and clears in between.
    EXPECT_EQ("PID:000040 TYP:WDG", Bloq(1).substr(0, 18));
    EXPECT_GE(Heartbeats() - before, 4);
}

TEST_F(ShellTest, AnswersSessionEndAndCopyDataAndPassesOtherMessagesOn)
{
    HWND window = reinterpret_cast<HWND>(1);
    fake::registeredClass.lpfnWndProc = WatchdogWndProc; // DestroyWindow dispatches through it
    EXPECT_EQ(0, WatchdogWndProc(window, WM_COPYDATA, 0, 12345));
    // Never veto a log-off or shut-down.
    EXPECT_NE(0, WatchdogWndProc(window, WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(0, WatchdogWndProc(window, WM_ENDSESSION, 1, 0));
    EXPECT_EQ(0, WatchdogWndProc(window, 0x0400, 0, 0));
    EXPECT_EQ((std::vector<std::string>{"INFO: [WD] WM_COPYDATA: 74", "INFO: [WD] WM_LOGINOFF: 17",
                                        "INFO: [WD] WM_LOGINOFF: 22"}),
              LogLines());
    EXPECT_EQ(2, fake::CallCount("DestroyWindow"));
    EXPECT_EQ(1, fake::CallCount("DefWindowProcA 1024"));
}
