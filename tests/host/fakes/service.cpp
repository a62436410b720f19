// Fake service control manager and process heap. Time passes only through
// Sleep and the scripted cost of a call; nothing waits for real.
#include "fake_service.h"

#include "fake_kernel.h"
#include "fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace fake {

std::map<std::string, FakeSvc> services;
DWORD managerError = 0;
bool heapAllocFails = false;
int badScCloses = 0;
int badHeapFrees = 0;

namespace {

struct ScObject {
    std::string name; // empty for the manager
    DWORD access;
};
std::map<SC_HANDLE, ScObject> scHandles;
uintptr_t nextScHandle = 0x1000;
std::map<void*, size_t> heapBlocks;
std::map<std::string, size_t> queriesAnswered;
// A faulty loop would otherwise spin for ever on a fake that never changes.
constexpr size_t MaxQueries = 100000;
HANDLE const ProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4EA9));

void Reset()
{
    services.clear();
    managerError = 0;
    heapAllocFails = false;
    badScCloses = badHeapFrees = 0;
    scHandles.clear();
    nextScHandle = 0x1000;
    for (auto& block : heapBlocks)
        std::free(block.first);
    heapBlocks.clear();
    queriesAnswered.clear();
}
[[maybe_unused]] const bool registered = OnReset(Reset);

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return text;
}

// The open service behind `handle`, or null with ERROR_INVALID_HANDLE.
ScObject* ServiceOf(SC_HANDLE handle)
{
    auto it = scHandles.find(handle);
    if (it == scHandles.end() || it->second.name.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

bool Allowed(const ScObject& object, DWORD right)
{
    if ((object.access & right) == right)
        return true;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

// Applies a step's cost and failure; true when the call succeeds.
bool Answer(const SvcStep& step)
{
    tickCount += step.takesMs;
    if (step.error != 0) {
        SetLastError(step.error);
        return false;
    }
    return true;
}

void Fill(const SvcStep& step, SERVICE_STATUS* status)
{
    status->dwServiceType = 0x10; // SERVICE_WIN32_OWN_PROCESS
    status->dwCurrentState = step.state;
    status->dwControlsAccepted = step.state == SERVICE_RUNNING ? 1 : 0;
    status->dwWin32ExitCode = step.exitCode;
    status->dwServiceSpecificExitCode = 0;
    status->dwCheckPoint = step.checkPoint;
    status->dwWaitHint = step.waitHint;
}

} // namespace

SvcStep Status(DWORD state, DWORD checkPoint, DWORD waitHint, DWORD exitCode)
{
    SvcStep step;
    step.state = state;
    step.checkPoint = checkPoint;
    step.waitHint = waitHint;
    step.exitCode = exitCode;
    return step;
}

SvcStep Fails(DWORD error)
{
    SvcStep step;
    step.error = error;
    return step;
}

int OpenScHandleCount() { return static_cast<int>(scHandles.size()); }
int LiveHeapBlocks() { return static_cast<int>(heapBlocks.size()); }

std::vector<std::string> CallsStartingWith(const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& call : calls)
        if (call.compare(0, prefix.size(), prefix) == 0)
            found.push_back(call);
    return found;
}

std::vector<std::string> ServiceCalls()
{
    static const char* const prefixes[] = {"OpenSCManagerA", "OpenServiceA", "QueryServiceStatusEx",
                                           "ControlService", "EnumDependentServicesA", "StartServiceA",
                                           "CloseServiceHandle", "HeapAlloc", "HeapFree", "Sleep"};
    std::vector<std::string> found;
    for (const std::string& call : calls) {
        const std::string name = call.substr(0, call.find(' '));
        for (const char* prefix : prefixes)
            if (name == prefix) {
                found.push_back(call);
                break;
            }
    }
    return found;
}

} // namespace fake

using namespace fake;

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access)
{
    calls.push_back("OpenSCManagerA " + Hex(access));
    EXPECT_EQ(nullptr, machine);
    EXPECT_EQ(nullptr, database);
    if (managerError != 0) {
        SetLastError(managerError);
        return nullptr;
    }
    SC_HANDLE handle = reinterpret_cast<SC_HANDLE>(nextScHandle += 0x10);
    scHandles[handle] = ScObject{"", access};
    return handle;
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    calls.push_back("OpenServiceA " + std::string(name) + " " + Hex(access));
    auto owner = scHandles.find(manager);
    if (owner == scHandles.end() || !owner->second.name.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto it = services.find(name);
    if (it == services.end()) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (it->second.openError != 0) {
        SetLastError(it->second.openError);
        return nullptr;
    }
    SC_HANDLE handle = reinterpret_cast<SC_HANDLE>(nextScHandle += 0x10);
    scHandles[handle] = ScObject{name, access};
    return handle;
}

BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, LPBYTE buffer, DWORD size,
                          LPDWORD needed)
{
    ScObject* object = ServiceOf(service);
    calls.push_back("QueryServiceStatusEx " + (object ? object->name : std::string("?")));
    if (object == nullptr || !Allowed(*object, SERVICE_QUERY_STATUS))
        return FALSE;
    if (level != SC_STATUS_PROCESS_INFO || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *needed = sizeof(SERVICE_STATUS_PROCESS);
    if (size < sizeof(SERVICE_STATUS_PROCESS)) {
        SetLastError(122); // ERROR_INSUFFICIENT_BUFFER
        return FALSE;
    }
    FakeSvc& svc = services.at(object->name);
    size_t& answered = queriesAnswered[object->name];
    if (svc.queries.empty() || ++answered > MaxQueries) {
        ADD_FAILURE() << "unscripted or endless status queries of " << object->name;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const SvcStep step = svc.queries.front();
    if (svc.queries.size() > 1)
        svc.queries.erase(svc.queries.begin());
    if (!Answer(step))
        return FALSE;
    SERVICE_STATUS_PROCESS* status = reinterpret_cast<SERVICE_STATUS_PROCESS*>(buffer);
    Fill(step, reinterpret_cast<SERVICE_STATUS*>(status));
    status->dwProcessId = step.state == SERVICE_STOPPED ? 0 : 1234;
    status->dwServiceFlags = 0;
    return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    ScObject* object = ServiceOf(service);
    calls.push_back("ControlService " + (object ? object->name : std::string("?")) + " " +
                    std::to_string(control));
    if (object == nullptr || !Allowed(*object, SERVICE_STOP))
        return FALSE;
    FakeSvc& svc = services.at(object->name);
    if (svc.beforeControl)
        svc.beforeControl();
    const SvcStep step = svc.control;
    if (!Answer(step))
        return FALSE;
    Fill(step, status);
    return TRUE;
}

BOOL EnumDependentServicesA(SC_HANDLE service, DWORD state, LPENUM_SERVICE_STATUSA buffer, DWORD size,
                            LPDWORD needed, LPDWORD count)
{
    ScObject* object = ServiceOf(service);
    calls.push_back("EnumDependentServicesA " + (object ? object->name : std::string("?")) + " " +
                    std::to_string(size));
    if (object == nullptr || !Allowed(*object, SERVICE_ENUMERATE_DEPENDENTS))
        return FALSE;
    FakeSvc& svc = services.at(object->name);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ACTIVE), state);
    struct AfterEnum {
        FakeSvc& svc;
        ~AfterEnum()
        {
            if (svc.afterEnum)
                svc.afterEnum();
        }
    } after{svc};
    if (buffer == nullptr && svc.enumError != 0) {
        SetLastError(svc.enumError);
        return FALSE;
    }
    // Records first, their strings after them, as the real call lays them out.
    DWORD bytes = static_cast<DWORD>(svc.dependents.size() * sizeof(ENUM_SERVICE_STATUSA));
    for (const std::string& name : svc.dependents)
        bytes += static_cast<DWORD>(2 * (name.size() + 1));
    *count = 0;
    *needed = bytes;
    if (svc.dependents.empty())
        return TRUE;
    if (buffer == nullptr || size < bytes) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    char* text = reinterpret_cast<char*>(buffer + svc.dependents.size());
    for (size_t i = 0; i < svc.dependents.size(); ++i) {
        const std::string& name = svc.dependents[i];
        buffer[i].lpServiceName = std::strcpy(text, name.c_str());
        text += name.size() + 1;
        buffer[i].lpDisplayName = std::strcpy(text, name.c_str());
        text += name.size() + 1;
        Fill(Status(SERVICE_RUNNING), &buffer[i].ServiceStatus);
    }
    *count = static_cast<DWORD>(svc.dependents.size());
    return TRUE;
}

BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv)
{
    ScObject* object = ServiceOf(service);
    calls.push_back("StartServiceA " + (object ? object->name : std::string("?")));
    EXPECT_EQ(0u, argc);
    EXPECT_EQ(nullptr, argv);
    if (object == nullptr || !Allowed(*object, SERVICE_START))
        return FALSE;
    const DWORD error = services.at(object->name).startError;
    if (error != 0) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle)
{
    auto it = scHandles.find(handle);
    if (it == scHandles.end()) {
        calls.push_back("CloseServiceHandle ?");
        ++badScCloses;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    calls.push_back("CloseServiceHandle " + (it->second.name.empty() ? std::string("manager") : it->second.name));
    scHandles.erase(it);
    return TRUE;
}

HANDLE GetProcessHeap() { return ProcessHeap; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    calls.push_back("HeapAlloc " + Hex(flags) + " " + std::to_string(bytes));
    EXPECT_EQ(ProcessHeap, heap);
    if (heapAllocFails) {
        heapAllocFails = false;
        return nullptr;
    }
    // Exactly the size asked for, so that the sanitizer sees any overrun; a
    // stray byte pattern shows up where zero filling was forgotten.
    void* block = std::malloc(bytes);
    std::memset(block, (flags & HEAP_ZERO_MEMORY) ? 0 : 0xA5, bytes);
    heapBlocks[block] = bytes;
    return block;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID block)
{
    calls.push_back("HeapFree");
    EXPECT_EQ(ProcessHeap, heap);
    auto it = heapBlocks.find(block);
    if (it == heapBlocks.end()) {
        ++badHeapFrees;
        return FALSE;
    }
    std::free(block);
    heapBlocks.erase(it);
    return TRUE;
}
