// Control side of the fake service control manager and process heap: a test
// scripts what each service answers, then asserts on the journal
// (fake::calls) and on the balance of handles and heap blocks.
//
// Journal entries written here:
//   "OpenSCManagerA 0x1"                 "OpenServiceA NAME 0x2c"
//   "QueryServiceStatusEx NAME"          "ControlService NAME 1"
//   "EnumDependentServicesA NAME SIZE"   "StartServiceA NAME"
//   "CloseServiceHandle NAME" / "CloseServiceHandle manager"
//   "HeapAlloc 0x8 BYTES"                "HeapFree"
// (Sleep writes "Sleep MS", see fake_kernel.h.)
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake {

// One answer of a service: the status record it reports, or a failure.
struct SvcStep {
    DWORD state = SERVICE_RUNNING;
    DWORD checkPoint = 0;
    DWORD waitHint = 0;
    DWORD exitCode = 0;
    DWORD error = 0;   // nonzero: the call fails with this last error
    DWORD takesMs = 0; // the tick count advances this much during the call
};

// Shorthands for scripts.
SvcStep Status(DWORD state, DWORD checkPoint = 0, DWORD waitHint = 0, DWORD exitCode = 0);
SvcStep Fails(DWORD error);

struct FakeSvc {
    DWORD openError = 0;          // OpenServiceA fails with this
    std::vector<SvcStep> queries; // one per query, front first; the last one repeats
    SvcStep control = Status(SERVICE_STOPPED); // answer to the stop control
    DWORD startError = 0;         // StartServiceA fails with this
    std::vector<std::string> dependents; // active dependents, in enumeration order
    DWORD enumError = 0;          // the size request fails with this instead
    std::function<void()> afterEnum; // runs after each enumeration call
    std::function<void()> beforeControl; // runs as the stop control arrives (may throw)
};

// The services of the machine by name; a name missing here does not exist.
extern std::map<std::string, FakeSvc> services;
// OpenSCManagerA fails with this (0: connects).
extern DWORD managerError;
// The next HeapAlloc returns null.
extern bool heapAllocFails;

// Service and manager handles still open.
int OpenScHandleCount();
// Closes of handles that were not open.
extern int badScCloses;
// Heap blocks not freed, and frees of blocks that were not allocated.
int LiveHeapBlocks();
extern int badHeapFrees;

// The journal entries that begin with `prefix`, in order.
std::vector<std::string> CallsStartingWith(const std::string& prefix);
// The journal entries of the service manager, the heap and Sleep, in order;
// other fakes' entries are left out.
std::vector<std::string> ServiceCalls();

} // namespace fake

#include "fixture.h"

// Base of the service-control tests: "ZorvaService" exists (running, no
// dependents, stops at once when told), and every test must end with each
// open matched by one close and each heap block freed.
class ServiceTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        Svc().queries = {fake::Status(SERVICE_RUNNING)};
    }
    void TearDown() override
    {
        EXPECT_EQ(0, fake::OpenScHandleCount()) << "service or manager handle left open";
        EXPECT_EQ(0, fake::badScCloses) << "handle closed twice or never opened";
        EXPECT_EQ(0, fake::LiveHeapBlocks()) << "heap block not freed";
        EXPECT_EQ(0, fake::badHeapFrees);
        HostTest::TearDown();
    }
    static fake::FakeSvc& Svc(const std::string& name = "ZorvaService") { return fake::services[name]; }
};
