// Pause lengths: a tenth of the wait hint, kept within 1000..10000 ms, while
// a service is pending on its own; the raw hint after a stop control. (The
// start waits and the dependents' waits show their pauses in their own tests.)
#include "fake_kernel.h"
#include "fake_service.h"

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

struct Pause {
    DWORD waitHint;
    DWORD poll; // expected pause before any control
};

void PrintTo(const Pause& p, std::ostream* os) { *os << p.waitHint; }

class PauseLength : public ServiceTest, public ::testing::WithParamInterface<Pause> {
protected:
    DWORD hint() const { return GetParam().waitHint; }
    std::vector<std::string> Sleeps() const { return fake::CallsStartingWith("Sleep"); }
    std::vector<std::string> Once(DWORD ms) const { return {"Sleep " + std::to_string(ms)}; }
};

TEST_P(PauseLength, StopAlreadyPending)
{
    Svc().queries = {Status(SERVICE_STOP_PENDING, 1, hint()), Status(SERVICE_STOPPED)};
    StopSvc();
    EXPECT_EQ(Once(GetParam().poll), Sleeps());
}

TEST_P(PauseLength, AfterOwnStopControl)
{
    Svc().control = Status(SERVICE_STOP_PENDING, 1, hint());
    Svc().queries = {Status(SERVICE_RUNNING), Status(SERVICE_STOPPED)};
    StopSvc();
    EXPECT_EQ(Once(hint()), Sleeps());
}

INSTANTIATE_TEST_SUITE_P(Hints, PauseLength,
                         ::testing::Values(Pause{0, 1000}, Pause{5000, 1000}, Pause{20000, 2000},
                                           Pause{30000, 3000}, Pause{200000, 10000}, Pause{250000, 10000}),
                         [](const auto& info) { return "Hint" + std::to_string(info.param.waitHint); });

} // namespace
