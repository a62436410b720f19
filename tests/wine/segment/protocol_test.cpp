// The segment protocol between real processes. The script starts the
// reference server as the service "ZorvaService" (heartbeat every second)
// before the Service suite; the NoServer suite runs before that.
#include "processes.h"

#include <segment/heartbeat.h>
#include <segment/segment.h>
#include <shell/log.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

std::string ClientExe() { return BinDir() + "zorva-client.exe"; }
std::string ServerExe() { return BinDir() + "zorva-server.exe"; }

std::string PidTag(DWORD pid) { return BuildHeartbeatRecord(pid, "CLI", "").substr(0, 10); }

bool StartsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Age of a record's stamp as the watchdog's sweep measures it.
StampTicks AgeOf(const std::string& record) { return NowStamp() - ParseStamp(record.substr(23)); }

std::string Count() { return ReadClientCountField(); }

int BloqOf(DWORD pid)
{
    for (int i = 3; i < BloqCount; ++i)
        if (StartsWith(ReadBloqFromSharedMemory(i), PidTag(pid)))
            return i;
    return -1;
}

int Signal(const char* what, DWORD pid)
{
    std::string output;
    return RunCaptured(ClientExe(), std::string("--signal ") + what + " " + std::to_string(pid), output);
}

// A record that does not change over more than two heartbeat periods.
void ExpectFrozen(int bloq, const char* who)
{
    const std::string before = ReadBloqFromSharedMemory(bloq);
    Sleep(2500);
    EXPECT_EQ(ReadBloqFromSharedMemory(bloq), before) << who << " went on heartbeating";
}

bool Advances(int bloq)
{
    const std::string before = ReadBloqFromSharedMemory(bloq);
    return WaitUntil([&] { return ReadBloqFromSharedMemory(bloq) != before; }, 4000);
}

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, ServiceHandleCloser>;

ServiceHandle OpenZorvaService()
{
    static ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    return ServiceHandle(OpenServiceA(manager.get(), "ZorvaService",
                                      SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP |
                                          SERVICE_USER_DEFINED_CONTROL));
}

SERVICE_STATUS_PROCESS ServiceStatus(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
    return status;
}

// What the service reported on its way to `state`: while pending, check
// points that only rise (and do rise) and a wait hint, as the service
// control manager's pollers (the watchdog among them) expect.
void ExpectHonestPendingUntil(SC_HANDLE service, DWORD pending, DWORD state)
{
    DWORD lastCheckPoint = 0, pendingReports = 0;
    const bool reached = WaitUntil([&] {
        const SERVICE_STATUS_PROCESS status = ServiceStatus(service);
        if (status.dwCurrentState == pending) {
            EXPECT_GE(status.dwCheckPoint, lastCheckPoint);
            EXPECT_GT(status.dwWaitHint, 0u);
            lastCheckPoint = status.dwCheckPoint;
            ++pendingReports;
        } else if (status.dwCurrentState != state) {
            ADD_FAILURE() << "state " << status.dwCurrentState << " on the way to " << state;
        }
        return status.dwCurrentState == state;
    }, 10000);
    EXPECT_TRUE(reached) << "never reached state " << state;
    EXPECT_GT(pendingReports, 0u);
    EXPECT_GE(lastCheckPoint, 2u) << "the check point did not rise";
}

// Whether the mutex's DACL lets authenticated users (any logged-on user, not
// only administrators) wait for it and release it.
bool AuthenticatedUsersMayTake(HANDLE mutex)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* sddl = nullptr;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return false;
    ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                         &sddl, nullptr);
    const bool granted = sddl != nullptr && Contains(sddl, "(A;;0x100001;;;AU)");
    LocalFree(sddl);
    LocalFree(descriptor);
    return granted;
}

// ---------------------------------------------------------------------------
// Before the server exists.

TEST(NoServer, ClientGivesUpWhenTheSegmentNeverAppears)
{
    std::string output;
    EXPECT_EQ(RunCaptured(ClientExe(), "--wait-segment 1", output), 1);
    EXPECT_TRUE(Contains(output, "did not appear within 1 s")) << output;
}

TEST(NoServer, ServerFailsClearlyWhenTheMappingNameIsTaken)
{
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "Global\\KelmMem");
    ASSERT_NE(squatter, nullptr);
    std::string output;
    EXPECT_EQ(RunCaptured(ServerExe(), "--console", output), 1);
    EXPECT_TRUE(Contains(output, "cannot create the file mapping Global\\KelmMem, error ")) << output;
    CloseHandle(squatter);
}

// The watchdog, started before the server, creates the mutex with its own
// default security; the server gives it the security that lets ordinary
// users' clients open it.
TEST(NoServer, ServerAppliesItsSecurityToAMutexCreatedBeforeIt)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\KelmMemMutex"); // as the watchdog does
    ASSERT_NE(mutex, nullptr);
    EXPECT_FALSE(AuthenticatedUsersMayTake(mutex)) << "a default DACL that already lets users in shows nothing";

    std::string output;
    int exitCode = -1;
    std::thread server([&] { exitCode = RunCaptured(ServerExe(), "--console --interval 1", output); });
    EXPECT_TRUE(WaitUntil([&] { return AuthenticatedUsersMayTake(mutex); }, 8000));
    HANDLE stop = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Local\\ZorvaServerStop");
    if (stop != nullptr) {
        SetEvent(stop);
        CloseHandle(stop);
    }
    server.join();
    CloseHandle(mutex);
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_TRUE(Contains(output, "the mutex Global\\KelmMemMutex existed already; the server's security is now "
                                 "applied to it")) << output;
}

// ---------------------------------------------------------------------------
// With the service running.

struct Service : ::testing::Test {
    void SetUp() override
    {
        if (SegmentMappingHandle == nullptr)
            OpenSharedMemory();
        ASSERT_NE(SegmentMappingHandle, nullptr) << "the service did not create the segment";
        service = OpenZorvaService();
        ASSERT_TRUE(service) << "cannot open ZorvaService, error " << GetLastError();
        ASSERT_EQ(ServiceStatus(service.get()).dwCurrentState, (DWORD)SERVICE_RUNNING);
    }

    void ExpectServerRecord(const char* when)
    {
        const std::string record = ReadBloqFromSharedMemory(0);
        char head[32];
        std::snprintf(head, sizeof head, "PID:%06lu TYP:SVR INI:", ServiceStatus(service.get()).dwProcessId);
        ASSERT_EQ(record.size(), 40u) << when;
        EXPECT_EQ(record.substr(0, 23), head) << when;
        const StampTicks age = AgeOf(record);
        EXPECT_GE(age, 0) << when;
        EXPECT_LE(age, 2 * TicksPerSecond) << when << ": " << record;
    }

    void ServerControl(const char* what)
    {
        std::string output;
        ASSERT_EQ(RunCaptured(ServerExe(), std::string("--control ") + what, output), 0) << output;
    }

    ServiceHandle service;
};

TEST_F(Service, ServerKeepsAFreshRecordInBloqZeroAndRewritesItWhenCleared)
{
    ExpectServerRecord("at first");
    EXPECT_TRUE(Advances(0));
    ExpectServerRecord("a little later");

    EXPECT_EQ(ClearBloqSharedMemory(0), 1);
    EXPECT_TRUE(WaitUntil([] { return StartsWith(ReadBloqFromSharedMemory(0), "PID:"); }, 3000));
    ExpectServerRecord("after the clear");
}

TEST_F(Service, WatchdogHeartbeatWritesBloqOneOnlyAndTheServerLeavesItAlone)
{
    const std::string count = Count();
    PingSharedMemory(1);
    char head[32];
    std::snprintf(head, sizeof head, "PID:%06lu TYP:WDG INI:", GetCurrentProcessId());
    const std::string record = ReadBloqFromSharedMemory(1);
    EXPECT_EQ(record.substr(0, 23), head);
    EXPECT_LE(AgeOf(record), TicksPerSecond);
    EXPECT_EQ(Count(), count);

    Sleep(1500); // a server heartbeat or two
    EXPECT_EQ(ReadBloqFromSharedMemory(1), record);

    PingSharedMemory(0);
    EXPECT_EQ(ReadBloqFromSharedMemory(1), std::string(40, '\0'));
}

TEST_F(Service, ControlCodesHangAndResumeTheServerWhileItStaysRunning)
{
    ServerControl("hang");
    ExpectFrozen(0, "a hung server");
    EXPECT_EQ(ServiceStatus(service.get()).dwCurrentState, (DWORD)SERVICE_RUNNING);
    EXPECT_GE(AgeOf(ReadBloqFromSharedMemory(0)), 2 * TicksPerSecond);

    ServerControl("resume");
    EXPECT_TRUE(Advances(0));
    ExpectServerRecord("after resuming");
}

// No record moves while the watchdog may be judging it: a client keeps the
// bloq it took, and the count covers the highest bloq in use.
TEST_F(Service, ClientsKeepTheirBloqsAndTheCountCoversTheHighestInUse)
{
    auto first = StartChild(ClientExe(), "--interval 1");
    ASSERT_TRUE(first);
    ASSERT_TRUE(WaitUntil([&] { return BloqOf(first->Pid()) == 3; }, 5000));
    auto second = StartChild(ClientExe(), "--interval 1");
    ASSERT_TRUE(second);
    ASSERT_TRUE(WaitUntil([&] { return BloqOf(second->Pid()) == 4; }, 5000));
    EXPECT_EQ(Count(), "2    ");
    const std::string record = ReadBloqFromSharedMemory(4);
    EXPECT_EQ(record.substr(10, 13), " TYP:CLI INI:");
    EXPECT_LE(AgeOf(record), 2 * TicksPerSecond);

    // The one in bloq 3 leaves: the hole stays, through heartbeats of the
    // server and of the other client.
    ASSERT_EQ(Signal("stop", first->Pid()), 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(first->WaitExit(5000, exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(Advances(4));
    EXPECT_EQ(ReadBloqFromSharedMemory(3), std::string(40, '\0'));
    EXPECT_EQ(BloqOf(second->Pid()), 4);
    EXPECT_EQ(Count(), "2    ");

    // A newcomer fills the hole; when the top one leaves, the count drops.
    auto third = StartChild(ClientExe(), "--interval 1");
    ASSERT_TRUE(third);
    ASSERT_TRUE(WaitUntil([&] { return BloqOf(third->Pid()) == 3; }, 5000));
    EXPECT_EQ(Count(), "2    ");
    ASSERT_EQ(Signal("stop", second->Pid()), 0);
    ASSERT_TRUE(second->WaitExit(5000, exitCode));
    EXPECT_EQ(ReadBloqFromSharedMemory(4), std::string(40, '\0'));
    EXPECT_EQ(Count(), "1    ");

    ASSERT_EQ(Signal("stop", third->Pid()), 0);
    ASSERT_TRUE(third->WaitExit(5000, exitCode));
    EXPECT_EQ(ReadBloqFromSharedMemory(3), std::string(40, '\0'));
    EXPECT_EQ(Count(), "0    ");
}

TEST_F(Service, ALiveClientWhoseBloqWasClearedTakesOneAgain)
{
    auto client = StartChild(ClientExe(), "--interval 1");
    ASSERT_TRUE(client);
    ASSERT_TRUE(WaitUntil([&] { return BloqOf(client->Pid()) == 3; }, 5000));

    EXPECT_EQ(ClearBloqSharedMemory(3), 1);
    EXPECT_TRUE(WaitUntil([&] { return BloqOf(client->Pid()) == 3; }, 3000));
    EXPECT_EQ(Count(), "1    ");
    EXPECT_TRUE(client->Running());
    Signal("stop", client->Pid());
}

TEST_F(Service, HungClientsStopRefreshingUntilKilledAndTheOthersStayPut)
{
    auto hungFromStart = StartChild(ClientExe(), "--hang --interval 1");
    ASSERT_TRUE(hungFromStart);
    ASSERT_TRUE(WaitUntil([&] { return BloqOf(hungFromStart->Pid()) == 3; }, 5000));
    auto hungLater = StartChild(ClientExe(), "--interval 1");
    ASSERT_TRUE(hungLater);
    ASSERT_TRUE(WaitUntil([&] { return BloqOf(hungLater->Pid()) == 4; }, 5000));
    ASSERT_EQ(Signal("hang", hungLater->Pid()), 0);
    Sleep(300); // let it see the event before the frozen window starts

    const std::string before3 = ReadBloqFromSharedMemory(3), before4 = ReadBloqFromSharedMemory(4);
    Sleep(2500);
    EXPECT_EQ(ReadBloqFromSharedMemory(3), before3);
    EXPECT_EQ(ReadBloqFromSharedMemory(4), before4);
    EXPECT_TRUE(hungFromStart->Running());
    EXPECT_TRUE(hungLater->Running());

    ASSERT_EQ(Signal("resume", hungLater->Pid()), 0);
    EXPECT_TRUE(Advances(4));

    // The watchdog's kill path: taskkill, then the bloq cleared. The record
    // above the hole stays where the watchdog may be judging it.
    const std::string kill = "taskkill /F /PID " + std::to_string(hungFromStart->Pid());
    EXPECT_EQ(std::system(kill.c_str()), 0);
    DWORD exitCode = 0;
    EXPECT_TRUE(hungFromStart->WaitExit(5000, exitCode));
    EXPECT_EQ(ClearBloqSharedMemory(3), 1);
    EXPECT_TRUE(Advances(4));
    EXPECT_EQ(BloqOf(hungLater->Pid()), 4);
    EXPECT_EQ(ReadBloqFromSharedMemory(3), std::string(40, '\0'));
    EXPECT_EQ(Count(), "2    ");

    Signal("stop", hungLater->Pid());
    EXPECT_TRUE(hungLater->WaitExit(5000, exitCode));
    EXPECT_EQ(Count(), "0    ");
}

TEST_F(Service, AClientFindingNoFreeBloqSaysSoAndExits)
{
    AccessSharedMemory("fill, error: %d", [](char* view) {
        for (int i = 3; i < BloqCount; ++i) {
            const std::string record = BuildHeartbeatRecord(900000 + i, "CLI", "05/03/24 07:08:09");
            std::memcpy(view + i * BloqSize, record.data(), BloqSize);
        }
    });
    std::string output;
    EXPECT_EQ(RunCaptured(ClientExe(), "--interval 1", output), 3);
    EXPECT_TRUE(Contains(output, "no free bloq")) << output;

    AccessSharedMemory("empty, error: %d",
                       [](char* view) { std::memset(view + 3 * BloqSize, 0, SegmentSize - 3 * BloqSize); });
    EXPECT_TRUE(WaitUntil([] { return Count() == "0    "; }, 3000)) << "the server recounts the emptied table";
}

// A helper of ours takes the mutex and ends without releasing it. The server
// is told to hang first so that the watchdog's access is the first waiter.
TEST_F(Service, AMutexAbandonedByADeadProcessIsStillTakenByTheWatchdogCode)
{
    ServerControl("hang");
    Sleep(300);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "Local\\SegmentTestReady");
    for (const char* how : {"exit", "wait"}) {
        SCOPED_TRACE(how);
        ResetEvent(ready);
        auto holder = StartChild(ThisExe(), std::string("--hold-mutex ") + how + " Local\\SegmentTestReady");
        ASSERT_TRUE(holder);
        ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        if (std::string(how) == "wait") {
            EXPECT_EQ(WaitForSingleObject(SegmentMutexHandle, 200), (DWORD)WAIT_TIMEOUT) << "the helper holds it";
            const std::string kill = "taskkill /F /PID " + std::to_string(holder->Pid());
            EXPECT_EQ(std::system(kill.c_str()), 0);
        }
        ASSERT_TRUE(holder->WaitExit(5000, exitCode));

        std::string bloq;
        int cleared = 0;
        WithinOrAbort("a bloq access after the mutex was abandoned", 10000, [&] {
            bloq = ReadBloqFromSharedMemory(0);
            cleared = ClearBloqSharedMemory(1);
        });
        EXPECT_EQ(bloq.size(), 40u);
        EXPECT_EQ(cleared, 1);
        // Owned and released by those accesses: free now, and no longer abandoned.
        EXPECT_EQ(WaitForSingleObject(SegmentMutexHandle, 0), (DWORD)WAIT_OBJECT_0);
        ReleaseMutex(SegmentMutexHandle);
    }
    CloseHandle(ready);

    ServerControl("resume");
    EXPECT_TRUE(Advances(0)) << "the server works on after the abandonment";
}

TEST_F(Service, TheLogIsAppendedWithCrLfWhileAnotherProcessHoldsItOpen)
{
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "Local\\SegmentTestLogReady");
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, "Local\\SegmentTestLogDone");
    std::ifstream existing("../Log.txt", std::ios::binary);
    std::stringstream before;
    before << existing.rdbuf();
    existing.close();

    auto holder = StartChild(ThisExe(), "--hold-file ..\\Log.txt Local\\SegmentTestLogReady Local\\SegmentTestLogDone");
    ASSERT_TRUE(holder);
    ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
    WriteLog(LOG_INFO, "held open %d", 1);
    WriteLog(LOG_WARNING, "second line");
    SetEvent(done);
    DWORD exitCode = 1;
    ASSERT_TRUE(holder->WaitExit(5000, exitCode));
    EXPECT_EQ(exitCode, 0u) << "the helper could not open the log";
    CloseHandle(ready);
    CloseHandle(done);

    std::ifstream file("../Log.txt", std::ios::binary);
    std::stringstream after;
    after << file.rdbuf();
    const std::string text = after.str();
    ASSERT_TRUE(StartsWith(text, before.str()));
    const std::string added = text.substr(before.str().size());
    const std::regex lines("\\[\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\] INFO: held open 1\r\n"
                           "\\[\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\] WARNING: second line\r\n");
    EXPECT_TRUE(std::regex_match(added, lines)) << added;
}

// Last: it restarts the service, which the script registered with a slow
// stop. A stopped server gives bloq 0 back; start arguments make the new one
// start slowly and hang after its first record.
TEST_F(Service, StopAndStartReportProgressAndTheStartArgumentHangPlaysAHungServer)
{
    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
    ExpectHonestPendingUntil(service.get(), SERVICE_STOP_PENDING, SERVICE_STOPPED);
    EXPECT_EQ(ServiceStatus(service.get()).dwWin32ExitCode, (DWORD)NO_ERROR);
    EXPECT_EQ(ReadBloqFromSharedMemory(0), std::string(40, '\0'));

    const char* args[] = {"--hang", "--start-delay", "1500"};
    ASSERT_TRUE(StartServiceA(service.get(), 3, args)) << GetLastError();
    ExpectHonestPendingUntil(service.get(), SERVICE_START_PENDING, SERVICE_RUNNING);
    ASSERT_TRUE(WaitUntil([] { return StartsWith(ReadBloqFromSharedMemory(0), "PID:"); }, 3000));
    ExpectServerRecord("the restarted server's first record");
    ExpectFrozen(0, "a server started with --hang");

    ServerControl("resume");
    EXPECT_TRUE(Advances(0));
}

} // namespace
