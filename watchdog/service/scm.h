// Helpers shared by the stop and start paths; not part of the interface.
#pragma once
#include <windows.h>

#include <memory>
#include <type_traits>

// Closes a service or manager handle when its owner leaves scope, on every
// path. Declare the manager's guard before the service's so that the service
// handle is closed first.
using ScHandleGuard = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, BOOL(WINAPI*)(SC_HANDLE)>;

inline ScHandleGuard GuardScHandle(SC_HANDLE handle) { return ScHandleGuard(handle, CloseServiceHandle); }

// Budget of one StopSvc call, and of one StopDependents call, in ms.
constexpr ULONGLONG StopBudgetMs = 30000;

// Milliseconds since `start`, as an unsigned difference of tick counts.
inline ULONGLONG ElapsedSince(ULONGLONG start) { return GetTickCount64() - start; }

// The shortest pause between two polls, also after a wait hint of 0.
constexpr DWORD MinPauseMs = 1000;

// Pause after a stop control: the service's wait hint, at least MinPauseMs,
// but never past the moment the budget that began at `start` runs out. A
// service may report any hint, INFINITE included.
DWORD StopPause(DWORD waitHint, ULONGLONG start);

// The longest a pending service may go without a rise of its check point,
// whatever wait hint it reports.
constexpr DWORD MaxStallMs = 300000;

// QueryServiceStatusEx at SC_STATUS_PROCESS_INFO into `status`.
BOOL QuerySvcStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status);

// ControlService(SERVICE_CONTROL_STOP), whose SERVICE_STATUS lands in the
// leading fields of `status`, which share its layout.
BOOL SendStopControl(SC_HANDLE service, SERVICE_STATUS_PROCESS& status);
