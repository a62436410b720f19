// StopSvc against the scripted service manager: every branch, in log lines and
// in the exact sequence of platform calls.
#include "fake_kernel.h"
#include "fake_service.h"
#include "service_lines.h"

#include "service/service.h"

#include <functional>

using fake::Fails;
using fake::Status;
namespace {

const std::string OpenSvc = "OpenServiceA ZorvaService 0x2c";
const std::string Control = "ControlService ZorvaService 1";

const std::string Pending = "WARNING: [WD] Detener el servicio pendiente...";
const std::string Stopped = "INFO: [WD] Servicio detenido correctamente";
const std::string PendingTimeout = "WARNING: [WD] Tiempo de espera agotado para detener el servicio";
const std::string WaitTimedOut = "INFO: [WD] Wait timed out";

fake::FakeSvc& Svc() { return fake::services["ZorvaService"]; }

fake::SvcStep Costly(fake::SvcStep step, DWORD ms)
{
    step.takesMs = ms;
    return step;
}

struct StopCase {
    std::string name;
    std::function<void()> script;
    Lines log;
    Lines calls;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class StopSvcFlow : public ServiceTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopSvcFlow, LogsAndCallsInOrder)
{
    GetParam().script();
    StopSvc();
    EXPECT_EQ(GetParam().log, LogLines());
    EXPECT_EQ(GetParam().calls, fake::ServiceCalls());
}

const StopCase stopCases[] = {
    {"ManagerRefused", [] { fake::managerError = ERROR_ACCESS_DENIED; },
     {"ERROR: [WD] OpenSCManager en StopSvc, error: 5"}, {OpenMgr}},
    {"ServiceMissing", [] { fake::services.erase("ZorvaService"); },
     {"ERROR: [WD] OpenService en StopSvc, error: 1060"}, {OpenMgr, OpenSvc, CloseMgr}},
    {"FirstQueryFails", [] { Svc().queries = {Fails(ERROR_ACCESS_DENIED)}; },
     {"ERROR: [WD] QueryServiceStatusEx, error: 5"}, {OpenMgr, OpenSvc, Query, CloseSvc, CloseMgr}},
    {"AlreadyStoppedTouchesNothing",
     [] {
         Svc().queries = {Status(SERVICE_STOPPED)};
         Svc().dependents = {"Dep"};
         fake::services["Dep"];
     },
     {}, {OpenMgr, OpenSvc, Query, CloseSvc, CloseMgr}},
    {"PendingStopCompletes",
     [] {
         Svc().queries = {Status(SERVICE_STOP_PENDING, 1, 5000), Status(SERVICE_STOP_PENDING, 2, 5000),
                          Status(SERVICE_STOPPED)};
         Svc().dependents = {"Dep"};
     },
     {Pending, Pending, Stopped},
     {OpenMgr, OpenSvc, Query, "Sleep 1000", Query, "Sleep 1000", Query, CloseSvc, CloseMgr}},
    {"PendingStopReturnsToRunning",
     [] { Svc().queries = {Status(SERVICE_STOP_PENDING, 1, 0), Status(SERVICE_RUNNING)}; },
     {Pending, Stopped},
     {OpenMgr, OpenSvc, Query, "Sleep 1000", Query, EnumSize, Control, CloseSvc, CloseMgr}},
    {"PendingStopNeverEnds", [] { Svc().queries = {Status(SERVICE_STOP_PENDING, 1, 30000)}; },
     Cat({Repeat(11, {Pending}), {PendingTimeout}}),
     Cat({{OpenMgr, OpenSvc, Query}, Repeat(11, {"Sleep 3000", Query}), {CloseSvc, CloseMgr}})},
    {"QueryFailsWhilePending",
     [] { Svc().queries = {Status(SERVICE_STOP_PENDING, 1, 0), Fails(ERROR_INVALID_HANDLE)}; },
     {Pending, "ERROR: [WD] QueryServiceStatusEx, error: 6"},
     {OpenMgr, OpenSvc, Query, "Sleep 1000", Query, CloseSvc, CloseMgr}},
    {"RunningStopsAtOnce", [] {}, {Stopped}, {OpenMgr, OpenSvc, Query, EnumSize, Control, CloseSvc, CloseMgr}},
    {"StartPendingIsStoppedToo", [] { Svc().queries = {Status(SERVICE_START_PENDING, 1, 1000)}; }, {Stopped},
     {OpenMgr, OpenSvc, Query, EnumSize, Control, CloseSvc, CloseMgr}},
    {"ControlRefused", [] { Svc().control = Fails(ERROR_DEPENDENT_SERVICES_RUNNING); },
     {"ERROR: [WD] ControlService, error: 1051"},
     {OpenMgr, OpenSvc, Query, EnumSize, Control, CloseSvc, CloseMgr}},
    {"StopsAfterTwoWaitHints",
     [] {
         Svc().control = Status(SERVICE_STOP_PENDING, 1, 2000);
         Svc().queries = {Status(SERVICE_RUNNING), Status(SERVICE_STOP_PENDING, 2, 2000), Status(SERVICE_STOPPED)};
     },
     {Stopped},
     {OpenMgr, OpenSvc, Query, EnumSize, Control, "Sleep 2000", Query, "Sleep 2000", Query, CloseSvc, CloseMgr}},
    {"StopOutlastsBudget",
     [] {
         Svc().control = Status(SERVICE_STOP_PENDING, 1, 20000);
         Svc().queries = {Status(SERVICE_RUNNING), Status(SERVICE_STOP_PENDING, 2, 20000)};
     },
     {WaitTimedOut},
     {OpenMgr, OpenSvc, Query, EnumSize, Control, "Sleep 20000", Query, "Sleep 10001", Query, CloseSvc, CloseMgr}},
    {"QueryFailsAfterControl",
     [] {
         Svc().control = Status(SERVICE_STOP_PENDING, 1, 2000);
         Svc().queries = {Status(SERVICE_RUNNING), Fails(ERROR_SERVICE_REQUEST_TIMEOUT)};
     },
     {"ERROR: [WD] QueryServiceStatusEx, error: 1053"},
     {OpenMgr, OpenSvc, Query, EnumSize, Control, "Sleep 2000", Query, CloseSvc, CloseMgr}},
    // Queries that take time count against the budget: no pause reaches past it.
    {"SlowQueriesShortenTheLastPause",
     [] {
         Svc().control = Status(SERVICE_STOP_PENDING, 1, 10000);
         Svc().queries = {Status(SERVICE_RUNNING), Costly(Status(SERVICE_STOP_PENDING, 1, 10000), 2000)};
     },
     {WaitTimedOut},
     Cat({{OpenMgr, OpenSvc, Query, EnumSize, Control}, Repeat(2, {"Sleep 10000", Query}), {"Sleep 6001", Query},
          {CloseSvc, CloseMgr}})},
};

INSTANTIATE_TEST_SUITE_P(Cases, StopSvcFlow, ::testing::ValuesIn(stopCases),
                         [](const auto& info) { return info.param.name; });

// The 30000 ms budget counts from entry; a query that itself takes `late` ms
// moves every later check by as much.
class StopBudget : public ServiceTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(StopBudget, PendingWaitEndsOnlyPast30000)
{
    const DWORD late = GetParam();
    const fake::SvcStep pending = Status(SERVICE_STOP_PENDING, 1, 100000); // pauses of 10000
    Svc().queries = {Costly(pending, late), pending, pending, pending, Status(SERVICE_STOPPED)};
    StopSvc();
    // The third pass ends at 30000 + late ms.
    const Lines expected = late == 0 ? Cat({Repeat(4, {Pending}), {Stopped}}) : Cat({Repeat(3, {Pending}), {PendingTimeout}});
    EXPECT_EQ(expected, LogLines());
}

INSTANTIATE_TEST_SUITE_P(Late, StopBudget, ::testing::Values(0u, 1u));

} // namespace
