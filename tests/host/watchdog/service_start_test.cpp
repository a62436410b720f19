// StartSvc against the scripted service manager: both waits, every failure
// and the five-line report.
#include "fake_kernel.h"
#include "fake_service.h"
#include "service_lines.h"

#include "service/service.h"

#include <functional>

using fake::Fails;
using fake::Status;
namespace {

const std::string OpenSvc = "OpenServiceA ZorvaService 0x1c";
const std::string Start = "StartServiceA ZorvaService";

const std::string Starting = "WARNING: [WD] Iniciar el servicio pendiente...";
const std::string Started = "INFO: [WD] Servicio iniciado correctamente";
const std::string InUse = "WARNING: [WD] No se puede iniciar el servicio por que esta en ejecuci\xC3\xB3n";
const std::string StopTimeout = "WARNING: [WD] Tiempo de espera agotado para detener el servicio";

Lines Report(int state, int exitCode, int checkPoint, int waitHint)
{
    return {"ERROR: [WD] Service ZorvaService no iniciado ", " Current State: " + std::to_string(state),
            " Exit Code: " + std::to_string(exitCode), " Check Point: " + std::to_string(checkPoint),
            " Wait Hint: " + std::to_string(waitHint)};
}

fake::FakeSvc& Svc() { return fake::services["ZorvaService"]; }

// `count` pending records whose check point rises at every one.
std::vector<fake::SvcStep> Rising(DWORD state, int count, DWORD waitHint)
{
    std::vector<fake::SvcStep> steps;
    for (int i = 1; i <= count; ++i)
        steps.push_back(Status(state, static_cast<DWORD>(i), waitHint));
    return steps;
}

std::vector<fake::SvcStep> Then(std::vector<fake::SvcStep> steps, std::initializer_list<fake::SvcStep> more)
{
    steps.insert(steps.end(), more);
    return steps;
}

struct StartCase {
    std::string name;
    std::function<void()> script;
    Lines log;
    Lines calls;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class StartSvcFlow : public ServiceTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartSvcFlow, LogsAndCallsInOrder)
{
    GetParam().script();
    StartSvc();
    EXPECT_EQ(GetParam().log, LogLines());
    EXPECT_EQ(GetParam().calls, fake::ServiceCalls());
}

StartCase RefusedIn(const char* name, DWORD state)
{
    return {name, [state] { Svc().queries = {Status(state, 1, 1000)}; }, {InUse},
            {OpenMgr, OpenSvc, Query, CloseSvc, CloseMgr}};
}

const Lines opened = {OpenMgr, OpenSvc, Query};
const Lines closed = {CloseSvc, CloseMgr};

const StartCase startCases[] = {
    {"ManagerRefused", [] { fake::managerError = ERROR_ACCESS_DENIED; },
     {"ERROR: [WD] OpenSCManager en StartSvc, error: 5"}, {OpenMgr}},
    {"ServiceMissing", [] { fake::services.erase("ZorvaService"); },
     {"ERROR: [WD] OpenService en StartSvc, error: 1060"}, {OpenMgr, OpenSvc, CloseMgr}},
    {"FirstQueryFails", [] { Svc().queries = {Fails(ERROR_ACCESS_DENIED)}; },
     {"ERROR: [WD] QueryServiceStatusEx1, error: 5"}, Cat({opened, closed})},
    RefusedIn("Running", SERVICE_RUNNING),
    RefusedIn("StartPending", SERVICE_START_PENDING),
    RefusedIn("Paused", SERVICE_PAUSED),
    RefusedIn("ContinuePending", 5),
    RefusedIn("PausePending", 6),
    {"StoppedStartsAtOnce", [] { Svc().queries = {Status(SERVICE_STOPPED), Status(SERVICE_RUNNING)}; },
     {Starting, Started}, Cat({opened, {Start, Query}, closed})},
    {"StartRefused",
     [] {
         Svc().queries = {Status(SERVICE_STOPPED)};
         Svc().startError = 1058; // ERROR_SERVICE_DISABLED
     },
     {"ERROR: [WD] StartService, error: 1058"}, Cat({opened, {Start}, closed})},
    {"QueryAfterStartFails", [] { Svc().queries = {Status(SERVICE_STOPPED), Fails(ERROR_INVALID_HANDLE)}; },
     {Starting, "ERROR: [WD] QueryServiceStatusEx3, error: 6"}, Cat({opened, {Start, Query}, closed})},
    {"PendingStopEndsThenStarts",
     [] {
         Svc().queries = {Status(SERVICE_STOP_PENDING, 1, 5000), Status(SERVICE_STOP_PENDING, 2, 5000),
                          Status(SERVICE_STOP_PENDING, 3, 5000), Status(SERVICE_STOPPED), Status(SERVICE_RUNNING)};
     },
     {Starting, Started}, Cat({opened, Repeat(3, {"Sleep 1000", Query}), {Start, Query}, closed})},
    // Stopped between two polls: check point 0 and wait hint 0 are no stall.
    {"StopCompletingBetweenPollsIsNoStall",
     [] {
         Svc().queries = {Status(SERVICE_STOP_PENDING, 5, 3000), Status(SERVICE_STOPPED), Status(SERVICE_RUNNING)};
     },
     {Starting, Started}, Cat({opened, {"Sleep 1000", Query, Start, Query}, closed})},
    {"RisingStopHasNoOverallLimit",
     [] {
         Svc().queries = Then(Rising(SERVICE_STOP_PENDING, 80, 0), {Status(SERVICE_STOPPED), Status(SERVICE_RUNNING)});
     },
     {Starting, Started}, Cat({opened, Repeat(80, {"Sleep 1000", Query}), {Start, Query}, closed})},
    {"StalledStopAfterRisesCountsFromLastRise",
     [] {
         // Rises at 1000 and 2000 ms; stalled afterwards, out past 2000 + 3000.
         Svc().queries = {Status(SERVICE_STOP_PENDING, 1, 3000), Status(SERVICE_STOP_PENDING, 2, 3000),
                          Status(SERVICE_STOP_PENDING, 3, 3000)};
     },
     {StopTimeout}, Cat({opened, Repeat(6, {"Sleep 1000", Query}), closed})},
    {"PendingStopTurnsRunning",
     [] {
         Svc().queries = {Status(SERVICE_STOP_PENDING, 1, 3000), Status(SERVICE_RUNNING)};
         Svc().startError = ERROR_SERVICE_ALREADY_RUNNING;
     },
     {"ERROR: [WD] StartService, error: 1056"}, Cat({opened, {"Sleep 1000", Query, Start}, closed})},
    {"QueryWhileStopPendingFails",
     [] { Svc().queries = {Status(SERVICE_STOP_PENDING, 1, 3000), Fails(ERROR_INVALID_HANDLE)}; },
     {"ERROR: [WD] QueryServiceStatusEx2, error: 6"}, Cat({opened, {"Sleep 1000", Query}, closed})},
    {"StartStalls",
     [] { Svc().queries = {Status(SERVICE_STOPPED), Status(SERVICE_START_PENDING, 1, 20000)}; },
     Cat({{Starting}, Report(2, 0, 1, 20000)}), Cat({opened, {Start, Query}, Repeat(11, {"Sleep 2000", Query}), closed})},
    {"StartFallsBackToStopped",
     [] {
         Svc().queries = {Status(SERVICE_STOPPED), Status(SERVICE_START_PENDING, 1, 3000),
                          Status(SERVICE_STOPPED, 0, 0, 1066)};
     },
     Cat({{Starting}, Report(1, 1066, 0, 0)}), Cat({opened, {Start, Query, "Sleep 1000", Query}, closed})},
    {"QueryWhileStartingFailsReportsLastRecord",
     [] {
         Svc().queries = {Status(SERVICE_STOPPED), Status(SERVICE_START_PENDING, 1, 3000),
                          Status(SERVICE_START_PENDING, 2, 3000), Fails(ERROR_INVALID_HANDLE)};
     },
     Cat({{Starting, "ERROR: [WD] QueryServiceStatusEx4, error: 6"}, Report(2, 0, 2, 3000)}),
     Cat({opened, {Start, Query}, Repeat(2, {"Sleep 1000", Query}), closed})},
    {"RisingStartHasNoOverallLimit",
     [] {
         Svc().queries = Then(Rising(SERVICE_START_PENDING, 80, 0), {Status(SERVICE_RUNNING)});
         Svc().queries.insert(Svc().queries.begin(), Status(SERVICE_STOPPED));
     },
     {Starting, Started}, Cat({opened, {Start, Query}, Repeat(80, {"Sleep 1000", Query}), closed})},
};

INSTANTIATE_TEST_SUITE_P(Cases, StartSvcFlow, ::testing::ValuesIn(startCases),
                         [](const auto& info) { return info.param.name; });

// The sweep's restart: a stop that outlasts the budget of StopSvc and ends
// while StartSvc waits for it is followed by the start.
TEST_F(ServiceTest, StopOutlastingStopSvcCompletesDuringStartSvc)
{
    Svc().control = Status(SERVICE_STOP_PENDING, 1, 10000);
    Svc().queries = Then(Rising(SERVICE_STOP_PENDING, 7, 10000), {Status(SERVICE_STOPPED), Status(SERVICE_RUNNING)});
    Svc().queries.insert(Svc().queries.begin(), Status(SERVICE_RUNNING));
    StopSvc();
    StartSvc();
    EXPECT_EQ((Lines{"INFO: [WD] Wait timed out", Starting, Started}), LogLines());
    // StopSvc polls four times (10000 ms thrice, then the 1 ms left of its
    // budget); StartSvc three times more (1000 ms).
    EXPECT_EQ(3, fake::CallCount("Sleep 10000"));
    EXPECT_EQ(1, fake::CallCount("Sleep 1"));
    EXPECT_EQ(3, fake::CallCount("Sleep 1000"));
    EXPECT_EQ(1, fake::CallCount(Start));
}

} // namespace
