// Kernel fakes: clock, named mappings and mutexes, handles.
#include "fake_kernel.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>

namespace fake {

std::vector<std::string> calls;
ULONGLONG tickCount = 0;
DWORD currentPid = 4;
DWORD createMutexError = 0;
std::vector<DWORD> mapViewErrors;
int abandonedWaits = 0;
int mutexWaits = 0;
int mutexReleases = 0;
int viewsMapped = 0;

namespace {
long long unixTime = 0;
DWORD lastError = 0;
std::map<std::string, std::vector<char>> mappings;
struct Object {
    std::string kind;
    std::string name;
};
std::set<Object*> openHandles;

Object* Find(HANDLE handle)
{
    auto it = openHandles.find(static_cast<Object*>(handle));
    return it == openHandles.end() ? nullptr : *it;
}
} // namespace

std::string HandleName(HANDLE handle, const std::string& kind)
{
    const Object* object = Find(handle);
    return object != nullptr && object->kind == kind ? object->name : "";
}

HANDLE NewHandle(const std::string& kind, const std::string& name)
{
    Object* object = new Object{kind, name};
    openHandles.insert(object);
    return object;
}

void ResetKernel()
{
    calls.clear();
    tickCount = 0;
    unixTime = 1765191605; // 2025-12-08 11:00:05 UTC
    currentPid = 4;
    createMutexError = 0;
    mapViewErrors.clear();
    abandonedWaits = 0;
    mutexWaits = mutexReleases = viewsMapped = 0;
    lastError = 0;
    mappings.clear();
    for (Object* object : openHandles)
        delete object;
    openHandles.clear();
}

void SetUnixTime(long long seconds) { unixTime = seconds; }
long long UnixTime() { return unixTime; }

std::vector<char>& CreateMapping(const std::string& name, size_t size)
{
    return mappings[name] = std::vector<char>(size, '\0');
}

std::vector<char>& Mapping(const std::string& name) { return mappings.at(name); }

void RemoveMapping(const std::string& name) { mappings.erase(name); }

int OpenHandleCount() { return static_cast<int>(openHandles.size()); }

int OpenHandleCount(const std::string& kind)
{
    return static_cast<int>(std::count_if(openHandles.begin(), openHandles.end(),
                                          [&](const Object* object) { return object->kind == kind; }));
}

int CallCount(const std::string& name)
{
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

} // namespace fake

using namespace fake;

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }
DWORD GetCurrentProcessId() { return currentPid; }
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

BOOL CloseHandle(HANDLE handle)
{
    Object* object = Find(handle);
    calls.push_back(object == nullptr ? "CloseHandle" : "CloseHandle " + object->kind);
    if (object == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    openHandles.erase(object);
    delete object;
    return TRUE;
}

void GetSystemTimeAsFileTime(LPFILETIME time)
{
    const unsigned long long ticks = static_cast<unsigned long long>(unixTime + 11644473600LL) * 10000000ULL;
    time->dwLowDateTime = static_cast<DWORD>(ticks);
    time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

ULONGLONG GetTickCount64() { return tickCount; }

void Sleep(DWORD milliseconds)
{
    calls.push_back("Sleep " + std::to_string(milliseconds));
    // The wall clock follows the tick count in whole seconds.
    const ULONGLONG before = tickCount / 1000;
    tickCount += milliseconds;
    unixTime += static_cast<long long>(tickCount / 1000 - before);
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name)
{
    calls.push_back("CreateMutexA");
    if (createMutexError != 0) {
        lastError = createMutexError;
        createMutexError = 0;
        return nullptr;
    }
    return NewHandle("mutex", name);
}

HANDLE OpenFileMappingA(DWORD, BOOL, LPCSTR name)
{
    calls.push_back("OpenFileMappingA");
    if (mappings.count(name) == 0) {
        lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return NewHandle("mapping", name);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD, DWORD, DWORD, SIZE_T bytes)
{
    calls.push_back("MapViewOfFile");
    if (!mapViewErrors.empty()) {
        const DWORD error = mapViewErrors.front();
        mapViewErrors.erase(mapViewErrors.begin());
        if (error != 0) {
            lastError = error;
            return nullptr;
        }
    }
    Object* object = Find(mapping);
    if (object == nullptr || object->kind != "mapping") {
        lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    std::vector<char>& bytesOf = mappings.at(object->name);
    if (bytes > bytesOf.size()) {
        lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    ++viewsMapped;
    return bytesOf.data();
}

BOOL UnmapViewOfFile(LPCVOID)
{
    calls.push_back("UnmapViewOfFile");
    --viewsMapped;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD)
{
    calls.push_back("WaitForSingleObject");
    if (Find(handle) == nullptr)
        return WAIT_FAILED;
    ++mutexWaits;
    if (abandonedWaits > 0) {
        --abandonedWaits;
        return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE)
{
    calls.push_back("ReleaseMutex");
    ++mutexReleases;
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime)
{
    const unsigned long long ticks =
        (static_cast<unsigned long long>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    std::tm utc{};
    const std::time_t seconds = static_cast<std::time_t>(ticks / 10000000ULL) - 11644473600LL;
    if (ticks >> 63 || gmtime_r(&seconds, &utc) == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    *systemTime = {static_cast<WORD>(utc.tm_year + 1900), static_cast<WORD>(utc.tm_mon + 1),
                   static_cast<WORD>(utc.tm_wday), static_cast<WORD>(utc.tm_mday),
                   static_cast<WORD>(utc.tm_hour), static_cast<WORD>(utc.tm_min),
                   static_cast<WORD>(utc.tm_sec), static_cast<WORD>(ticks / 10000 % 1000)};
    return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* universal,
                                     LPSYSTEMTIME local)
{
    calls.push_back("SystemTimeToTzSpecificLocalTime");
    std::tm fields{};
    fields.tm_year = universal->wYear - 1900;
    fields.tm_mon = universal->wMonth - 1;
    fields.tm_mday = universal->wDay;
    fields.tm_hour = universal->wHour;
    fields.tm_min = universal->wMinute;
    fields.tm_sec = universal->wSecond;
    const std::time_t seconds = timegm(&fields);
    std::tm there{};
    if (zone != nullptr || localtime_r(&seconds, &there) == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    *local = {static_cast<WORD>(there.tm_year + 1900), static_cast<WORD>(there.tm_mon + 1),
              static_cast<WORD>(there.tm_wday), static_cast<WORD>(there.tm_mday),
              static_cast<WORD>(there.tm_hour), static_cast<WORD>(there.tm_min),
              static_cast<WORD>(there.tm_sec), universal->wMilliseconds};
    return TRUE;
}
