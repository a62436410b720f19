// StopDependents: its result, the calls it makes per dependent, the release
// of the buffer and of each handle, and what StopSvc does after it.
#include "fake_kernel.h"
#include "fake_service.h"
#include "service_lines.h"

#include "service/service.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

using fake::Fails;
using fake::Status;
namespace {

fake::FakeSvc& Svc(const std::string& name = "ZorvaService") { return fake::services[name]; }

// What the size request reports for these dependents: the records, then
// both names of each.
std::string Alloc(const Lines& names)
{
    size_t bytes = names.size() * sizeof(ENUM_SERVICE_STATUSA);
    for (const std::string& name : names)
        bytes += 2 * (name.size() + 1);
    return std::to_string(bytes);
}

Lines Stopping(const std::string& name, const Lines& wait = {})
{
    Lines calls = {"OpenServiceA " + name + " 0x24", "ControlService " + name + " 1"};
    calls.insert(calls.end(), wait.begin(), wait.end());
    calls.push_back("CloseServiceHandle " + name);
    return calls;
}


// The calls around a list of `names` that was read successfully.
Lines Listed(const Lines& names, const Lines& perDependent)
{
    return Cat({{EnumSize, "HeapAlloc 0x8 " + Alloc(names), "EnumDependentServicesA ZorvaService " + Alloc(names)},
                perDependent,
                {"HeapFree"}});
}

struct DependentsCase {
    std::string name;
    std::function<void()> script;
    int result;
    Lines calls; // between opening and closing ZorvaService
};

void PrintTo(const DependentsCase& c, std::ostream* os) { *os << c.name; }

class StopDependentsFlow : public ServiceTest, public ::testing::WithParamInterface<DependentsCase> {};

TEST_P(StopDependentsFlow, ResultAndCalls)
{
    GetParam().script();
    // StopDependents runs inside StopSvc, with both slots open.
    SvcManagerHandle = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SvcHandle = OpenServiceA(SvcManagerHandle, SvcName, 0x2C);
    fake::calls.clear();
    EXPECT_EQ(GetParam().result, StopDependents());
    EXPECT_EQ(GetParam().calls, fake::ServiceCalls());
    EXPECT_EQ(Lines{}, LogLines());
    CloseServiceHandle(SvcHandle);
    CloseServiceHandle(SvcManagerHandle);
}

const fake::SvcStep pending20000 = Status(SERVICE_STOP_PENDING, 1, 20000);

const DependentsCase dependentsCases[] = {
    {"NoneIsOneCall", [] {}, 1, {EnumSize}},
    {"SizeRequestRefused", [] { Svc().enumError = ERROR_ACCESS_DENIED; }, 0, {EnumSize}},
    {"NoMemory",
     [] {
         Svc().dependents = {"A"};
         fake::heapAllocFails = true;
     },
     0, {EnumSize, "HeapAlloc 0x8 " + Alloc({"A"})}},
    {"SeveralStopAtOnce",
     [] {
         Svc().dependents = {"A", "Bee"};
         Svc("A");
         Svc("Bee");
     },
     1, Listed({"A", "Bee"}, Cat({Stopping("A"), Stopping("Bee")}))},
    {"WaitsTheHint",
     [] {
         Svc().dependents = {"A"};
         Svc("A").control = Status(SERVICE_STOP_PENDING, 1, 3000);
         Svc("A").queries = {Status(SERVICE_STOP_PENDING, 2, 3000), Status(SERVICE_STOPPED)};
     },
     1, Listed({"A"}, Stopping("A", {"Sleep 3000", "QueryServiceStatusEx A", "Sleep 3000", "QueryServiceStatusEx A"}))},
    {"UnopenableEndsTheList",
     [] {
         Svc().dependents = {"A", "B"};
         Svc("A").openError = ERROR_ACCESS_DENIED;
         Svc("B");
     },
     0, Listed({"A", "B"}, {"OpenServiceA A 0x24"})},
    {"VanishedEndsTheList",
     [] {
         Svc().dependents = {"A", "B"};
         Svc("B");
     },
     0, Listed({"A", "B"}, {"OpenServiceA A 0x24"})},
    {"RefusingIsSkipped",
     [] {
         Svc().dependents = {"A", "B"};
         Svc("A").control = Fails(1052); // ERROR_INVALID_SERVICE_CONTROL
         Svc("B");
     },
     0, Listed({"A", "B"}, Cat({Stopping("A"), Stopping("B")}))},
    {"FailedQueryIsSkipped",
     [] {
         Svc().dependents = {"A", "B"};
         Svc("A").control = Status(SERVICE_STOP_PENDING, 1, 1000);
         Svc("A").queries = {Fails(ERROR_INVALID_HANDLE)};
         Svc("B");
     },
     0, Listed({"A", "B"}, Cat({Stopping("A", {"Sleep 1000", "QueryServiceStatusEx A"}), Stopping("B")}))},
    {"ListGrewMeanwhile",
     [] {
         Svc().dependents = {"A"};
         Svc("A");
         Svc().afterEnum = [] {
             if (Svc().dependents.size() == 1)
                 Svc().dependents.push_back("Late");
         };
     },
     0,
     {EnumSize, "HeapAlloc 0x8 " + Alloc({"A"}), "EnumDependentServicesA ZorvaService " + Alloc({"A"}), "HeapFree"}},
    {"BudgetSpentLeavesOnePauseAndQuery",
     [] {
         Svc().dependents = {"A", "B"};
         for (const char* name : {"A", "B"}) {
             Svc(name).control = pending20000;
             Svc(name).queries = {pending20000};
         }
     },
     0,
     Listed({"A", "B"}, Cat({Stopping("A", {"Sleep 20000", "QueryServiceStatusEx A", "Sleep 10001",
                                             "QueryServiceStatusEx A"}),
                              Stopping("B", {"Sleep 0", "QueryServiceStatusEx B"})}))},
};

INSTANTIATE_TEST_SUITE_P(Cases, StopDependentsFlow, ::testing::ValuesIn(dependentsCases),
                         [](const auto& info) { return info.param.name; });

// Through StopSvc: whatever became of the dependents, the service itself
// still gets its stop control; once they have spent the budget it gets one
// query without a pause.
class StopWithDependents : public ServiceTest {
protected:
    Lines CallsAfterOwnControl() const
    {
        const Lines calls = fake::ServiceCalls();
        const auto at = std::find(calls.begin(), calls.end(), "ControlService ZorvaService 1");
        return at == calls.end() ? Lines{} : Lines(at + 1, calls.end());
    }
};

TEST_F(StopWithDependents, FailuresDoNotKeepTheServiceRunning)
{
    const std::function<void()> scripts[] = {
        [] {
            Svc().dependents = {"A"};
            Svc("A").openError = ERROR_ACCESS_DENIED;
        },
        [] {
            Svc().dependents = {"A"};
            Svc("A").control = Fails(1052);
        },
        [] {
            Svc().dependents = {"A"};
            Svc("A");
            Svc().afterEnum = [] { Svc().dependents.push_back("Late"); };
        },
        [] { Svc().enumError = ERROR_ACCESS_DENIED; },
    };
    for (const auto& script : scripts) {
        fake::ResetAll();
        std::remove((root_ + "/Log.txt").c_str());
        Svc().queries = {Status(SERVICE_RUNNING)};
        script();
        StopSvc();
        EXPECT_EQ(Lines{"INFO: [WD] Servicio detenido correctamente"}, LogLines());
        EXPECT_EQ((Lines{"CloseServiceHandle ZorvaService", "CloseServiceHandle manager"}), CallsAfterOwnControl());
        EXPECT_EQ(0, fake::OpenScHandleCount());
        EXPECT_EQ(0, fake::LiveHeapBlocks());
    }
}

TEST_F(StopWithDependents, DependentsThatEatTheBudgetLeaveOnePauseAndOneQuery)
{
    Svc().dependents = {"A", "B"};
    for (const char* name : {"A", "B"}) {
        Svc(name).control = pending20000;
        Svc(name).queries = {pending20000};
    }
    Svc().control = Status(SERVICE_STOP_PENDING, 1, 5000);
    Svc().queries = {Status(SERVICE_RUNNING), Status(SERVICE_STOP_PENDING, 2, 5000)};
    StopSvc();
    EXPECT_EQ(Lines{"INFO: [WD] Wait timed out"}, LogLines());
    EXPECT_EQ((Lines{"Sleep 0", "QueryServiceStatusEx ZorvaService", "CloseServiceHandle ZorvaService",
                     "CloseServiceHandle manager"}),
              CallsAfterOwnControl());
}

TEST_F(StopWithDependents, ExceptionPassingThroughReleasesEverything)
{
    Svc().dependents = {"A", "B"};
    Svc("A").beforeControl = [] { throw std::runtime_error("control"); };
    Svc("B");
    EXPECT_THROW(StopSvc(), std::runtime_error);
    const Lines calls = fake::ServiceCalls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ((Lines{"ControlService A 1", "CloseServiceHandle A", "HeapFree", "CloseServiceHandle ZorvaService",
                     "CloseServiceHandle manager"}),
              Lines(calls.end() - 5, calls.end()));
}

} // namespace
