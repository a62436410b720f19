#include "segment_side.h"

#include "report.h"

#include <segment/segment.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>

const char* const SegmentMappingName = "Global\\KelmMem";
const char* const SegmentMutexName = "Global\\KelmMemMutex";
const char* const SegmentMappingSddl = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;AU)";
const char* const SegmentMutexSddl = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;AU)";

std::string WithLastError(const std::string& text)
{
    return text + ", error " + std::to_string(GetLastError());
}

namespace {

struct LocalFreeDeleter {
    void operator()(void* p) const { LocalFree(p); }
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

SecurityDescriptor DescriptorFromSddl(const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return SecurityDescriptor(descriptor);
}

// Clients and tools only wait and release; asking for no more lets them open a
// mutex whose security the server set. When nobody created it yet, the first
// asker creates it, as the watchdog does.
HANDLE OpenOrCreateMutex()
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, SegmentMutexName);
    if (mutex == nullptr && GetLastError() == ERROR_FILE_NOT_FOUND)
        mutex = CreateMutexA(nullptr, FALSE, SegmentMutexName);
    return mutex;
}

// A mutex that someone else created first (the watchdog creates it with its
// default security when it starts before the server) keeps that security:
// the attributes of CreateMutexA only apply to a new one. Its DACL is replaced
// with ours so that clients that are not administrators can open it. Returns
// the error code, 0 on success.
DWORD ApplyDacl(HANDLE object, PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return GetLastError();
    return SetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
}

} // namespace

bool CreateSegment(SegmentSide& segment, bool& existed, std::string& error)
{
    existed = false;
    SecurityDescriptor mutexSd = DescriptorFromSddl(SegmentMutexSddl);
    SecurityDescriptor mappingSd = DescriptorFromSddl(SegmentMappingSddl);
    if (!mutexSd || !mappingSd) {
        error = WithLastError("cannot build the segment's security descriptor");
        return false;
    }

    SECURITY_ATTRIBUTES mutexSa = {sizeof mutexSa, mutexSd.get(), FALSE};
    segment.mutex = CreateMutexA(&mutexSa, FALSE, SegmentMutexName);
    if (segment.mutex == nullptr) {
        error = WithLastError(std::string("cannot create the mutex ") + SegmentMutexName);
        return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        const DWORD applied = ApplyDacl(segment.mutex, mutexSd.get());
        if (applied == ERROR_SUCCESS)
            Report("the mutex %s existed already; the server's security is now applied to it", SegmentMutexName);
        else
            Report("cannot apply the server's security to the existing mutex %s, error %lu: clients that are not "
                   "administrators may be unable to open it", SegmentMutexName, applied);
    }

    SECURITY_ATTRIBUTES mappingSa = {sizeof mappingSa, mappingSd.get(), FALSE};
    segment.mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, &mappingSa, PAGE_READWRITE, 0, SegmentSize,
                                         SegmentMappingName);
    if (segment.mapping == nullptr) {
        error = WithLastError(std::string("cannot create the file mapping ") + SegmentMappingName);
        CloseSegment(segment);
        return false;
    }
    existed = GetLastError() == ERROR_ALREADY_EXISTS;

    // An existing mapping of another size would break every party's views;
    // mapping the full length here finds that out before any record is written.
    segment.view = static_cast<char*>(MapViewOfFile(segment.mapping, FILE_MAP_WRITE, 0, 0, SegmentSize));
    if (segment.view == nullptr) {
        error = WithLastError(std::string("cannot map a view of ") + SegmentMappingName);
        CloseSegment(segment);
        return false;
    }
    return true;
}

bool OpenSegment(SegmentSide& segment, DWORD mapAccess, bool& missing, std::string& error)
{
    missing = false;
    segment.mapping = OpenFileMappingA(mapAccess, FALSE, SegmentMappingName);
    if (segment.mapping == nullptr) {
        missing = GetLastError() == ERROR_FILE_NOT_FOUND;
        error = WithLastError(std::string("cannot open the file mapping ") + SegmentMappingName);
        return false;
    }
    segment.mutex = OpenOrCreateMutex();
    if (segment.mutex == nullptr) {
        error = WithLastError(std::string("cannot open the mutex ") + SegmentMutexName);
        CloseSegment(segment);
        return false;
    }
    segment.view = static_cast<char*>(MapViewOfFile(segment.mapping, mapAccess, 0, 0, SegmentSize));
    if (segment.view == nullptr) {
        error = WithLastError(std::string("cannot map a view of ") + SegmentMappingName);
        CloseSegment(segment);
        return false;
    }
    return true;
}

void CloseSegment(SegmentSide& segment)
{
    if (segment.view != nullptr)
        UnmapViewOfFile(segment.view);
    if (segment.mapping != nullptr)
        CloseHandle(segment.mapping);
    if (segment.mutex != nullptr)
        CloseHandle(segment.mutex);
    segment = SegmentSide();
}

LockResult LockSegmentMutex(const SegmentSide& segment)
{
    switch (WaitForSingleObject(segment.mutex, INFINITE)) {
    case WAIT_OBJECT_0: return LockTaken;
    case WAIT_ABANDONED: return LockTakenAbandoned;
    default: return LockFailed;
    }
}

void UnlockSegmentMutex(const SegmentSide& segment)
{
    ReleaseMutex(segment.mutex);
}

bool TakeSegmentMutex(const SegmentSide& segment)
{
    switch (LockSegmentMutex(segment)) {
    case LockTaken:
        return true;
    case LockTakenAbandoned:
        Report("the segment mutex was abandoned by a process that ended holding it; taken over");
        return true;
    default:
        Report("%s", WithLastError("cannot wait for the segment mutex").c_str());
        return false;
    }
}
