// Pause lengths by wait hint. Before any control: a tenth of the hint, kept
// within 1000..10000 ms. After a stop control: the hint, at least 1000 ms and
// never past the 30000 ms budget. Without a rise of the check point StartSvc
// allows one hint, at most 300000 ms. A service may report any hint.
#include "fake_kernel.h"
#include "fake_service.h"
#include "service_lines.h"

#include "service/service.h"

using fake::Status;

namespace {

TEST(PollIntervalTest, ClampsATenthOfTheHint)
{
    const std::pair<DWORD, DWORD> cases[] = {
        {0, 1000},     {5000, 1000},      {9999, 1000},      {10009, 1000},     {10010, 1001},
        {20000, 2000}, {30000, 3000},     {99999, 9999},     {100009, 10000},   {100010, 10000},
        {200000, 10000}, {250000, 10000}, {0xFFFFFFFFu, 10000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, PollInterval(c.first)) << "wait hint " << c.first;
}

struct HintCase {
    DWORD waitHint;
    Lines stopPauses; // after a stop control, until the budget has run out
    DWORD poll;       // each pause of StartSvc
    int stallPolls;   // polls of StartSvc until a stalled service counts as stuck
};

void PrintTo(const HintCase& c, std::ostream* os) { *os << c.waitHint; }

Lines Sleeps(std::initializer_list<std::pair<int, DWORD>> runs)
{
    Lines sleeps;
    for (const auto& run : runs)
        sleeps = Cat({sleeps, Repeat(run.first, {"Sleep " + std::to_string(run.second)})});
    return sleeps;
}

const HintCase hintCases[] = {
    {0, Sleeps({{30, 1000}, {1, 1}}), 1000, 1},
    {200, Sleeps({{30, 1000}, {1, 1}}), 1000, 1},
    {7000, Sleeps({{4, 7000}, {1, 2001}}), 1000, 8},
    {30000, Sleeps({{1, 30000}, {1, 1}}), 3000, 11}, // exactly 30000 ms is still within the budget
    {45000, Sleeps({{1, 30001}}), 4500, 11},
    {0xFFFFFFFFu, Sleeps({{1, 30001}}), 10000, 31}, // INFINITE: 300000 ms without a rise still waits
};

class HintTest : public ServiceTest, public ::testing::WithParamInterface<HintCase> {
protected:
    fake::SvcStep Pending(DWORD state) const { return Status(state, 1, GetParam().waitHint); }
    Lines Sleeps() const { return fake::CallsStartingWith("Sleep"); }
};

TEST_P(HintTest, StopSvcWaitsAfterItsControlWithinTheBudget)
{
    Svc().control = Pending(SERVICE_STOP_PENDING);
    Svc().queries = {Status(SERVICE_RUNNING), Pending(SERVICE_STOP_PENDING)};
    StopSvc();
    EXPECT_EQ(GetParam().stopPauses, Sleeps());
    EXPECT_EQ(30001u, fake::tickCount);
    EXPECT_EQ(Lines{"INFO: [WD] Wait timed out"}, LogLines());
}

TEST_P(HintTest, DependentsWaitWithinTheirBudget)
{
    Svc().dependents = {"A"};
    Svc("A").control = Pending(SERVICE_STOP_PENDING);
    Svc("A").queries = {Pending(SERVICE_STOP_PENDING)};
    StopSvc(); // ZorvaService itself stops at once
    EXPECT_EQ(GetParam().stopPauses, Sleeps());
    EXPECT_EQ(Lines{"INFO: [WD] Servicio detenido correctamente"}, LogLines());
}

TEST_P(HintTest, StartSvcGivesUpOnAStalledStop)
{
    Svc().queries = {Pending(SERVICE_STOP_PENDING)};
    StartSvc();
    EXPECT_EQ(Repeat(GetParam().stallPolls, {"Sleep " + std::to_string(GetParam().poll)}), Sleeps());
    EXPECT_EQ(Lines{"WARNING: [WD] Tiempo de espera agotado para detener el servicio"}, LogLines());
    EXPECT_EQ(0, fake::CallCount("StartServiceA ZorvaService"));
}

TEST_P(HintTest, StartSvcReportsAStalledStart)
{
    Svc().queries = {Status(SERVICE_STOPPED), Pending(SERVICE_START_PENDING)};
    StartSvc();
    EXPECT_EQ(Repeat(GetParam().stallPolls, {"Sleep " + std::to_string(GetParam().poll)}), Sleeps());
    const Lines log = LogLines();
    ASSERT_EQ(6u, log.size());
    EXPECT_EQ(" Current State: 2", log[2]);
    EXPECT_EQ(" Wait Hint: " + std::to_string(static_cast<int>(GetParam().waitHint)), log[5]);
}

INSTANTIATE_TEST_SUITE_P(Hints, HintTest, ::testing::ValuesIn(hintCases),
                         [](const auto& info) { return "Hint" + std::to_string(info.param.waitHint); });

} // namespace
