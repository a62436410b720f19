#include "sweep.h"

#include "../segment/segment.h"
#include "../service/service.h"
#include "../shell/log.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

bool IsRecord(const std::string& bloq)
{
    return bloq.compare(0, 3, "PID") == 0;
}

std::string RecordField(const std::string& record, const char* tag, size_t width)
{
    const size_t at = record.find(tag);
    const size_t start = at == std::string::npos ? 3 : at + 4;
    return start < record.size() ? record.substr(start, width) : "";
}

StampTicks RecordStamp(const std::string& record)
{
    return ParseStamp(RecordField(record, "INI:", std::string::npos));
}

bool IsStale(StampTicks age)
{
    return age >= StaleAge;
}

std::string CompactCount(const std::string& field)
{
    std::string digits;
    for (char c : field)
        if (c != '\0' && !std::isspace(static_cast<unsigned char>(c)))
            digits += c;
    return digits;
}

int ConvertCount(const std::string& text)
{
    try {
        return std::stoi(text);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("invalid stoi argument");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("stoi argument out of range");
    }
}

int LastClientBloq(int count)
{
    // A corrupt count must not make every sweep log thousands of range errors.
    return std::min(count, BloqCount - 2) + 2;
}

static long long UtcTicksOf(const FILETIME& time)
{
    // FILETIME counts from 1601; 1970 lies 11644473600 s later.
    const unsigned long long ticks = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<long long>(ticks) - 11644473600LL * TicksPerSecond;
}

KillCheck CheckKill(const std::string& pidText, StampTicks recordStamp, HANDLE* process)
{
    if (process != nullptr)
        *process = nullptr;
    // The text comes from another process and goes to the command interpreter
    // of an administrator: nothing but digits may pass.
    if (pidText.empty() || pidText.size() > 9 || pidText.find_first_not_of("0123456789") != std::string::npos)
        return KillPidNotNumber;
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(std::stoul(pidText)));
    if (handle == nullptr)
        return KillRun;
    // Windows reuses process numbers: a process created after the record was
    // written cannot be its writer. Judged in UTC, so that a change of the
    // local clock cannot hide a hung writer; two seconds allow for the stamp's
    // truncation. An unreadable stamp proves nothing.
    KillCheck result = KillRun;
    const long long written = recordStamp == 0 ? 0 : LocalStampToUtc(recordStamp);
    FILETIME created, exited, kernel, user;
    if (written != 0 && GetProcessTimes(handle, &created, &exited, &kernel, &user) &&
        UtcTicksOf(created) > written + 2 * TicksPerSecond)
        result = KillPidReused;
    if (process != nullptr)
        *process = handle;
    else
        CloseHandle(handle);
    return result;
}

std::string KillCommand(const std::string& pidText)
{
    // By full path: cmd looks in the current folder first, where anyone may
    // have left a taskkill.bat.
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    const std::string system = length < MAX_PATH ? std::string(folder, length) : std::string();
    return "\"" + system + "\\taskkill.exe\" /F /PID " + pidText;
}

static void RestartServer()
{
    WriteLog(LOG_INFO, "[WD] STOP START SERVER");
    std::ofstream("../wdnokill.txt", std::ios::out | std::ios::trunc);
    StopSvc();
    StartSvc();
}

static void SweepServer()
{
    const std::string server = ReadBloqFromSharedMemory(0);
    if (!IsRecord(server))
        return;
    if (!IsStale(NowStamp() - RecordStamp(server)))
        return;
    if (RecordField(server, "TYP:", 3) == "SVR")
        RestartServer();
}

static void KillClient(const std::string& pid, StampTicks stamp)
{
    // The handle keeps the pid from passing to another process before the
    // command has run; nothing between its opening and closing may throw.
    const std::string command = KillCommand(pid);
    HANDLE process = nullptr;
    switch (CheckKill(pid, stamp, &process)) {
    case KillPidNotNumber:
        WriteLog(LOG_WARNING, "[WD] TASKKILL omitido, Pid no válido: %s", pid.c_str());
        break;
    case KillPidReused:
        WriteLog(LOG_WARNING, "[WD] TASKKILL omitido, Pid reutilizado: %s", pid.c_str());
        break;
    case KillRun:
        std::system(command.c_str());
        WriteLog(LOG_WARNING, "[WD] TASKKILL Pid: %s", pid.c_str());
        break;
    }
    if (process != nullptr)
        CloseHandle(process);
}

static void SweepClients(const std::string& countText)
{
    const int last = LastClientBloq(ConvertCount(countText));
    for (int i = 3; i <= last; ++i) {
        const std::string client = ReadBloqFromSharedMemory(i);
        if (!IsRecord(client))
            continue;
        // Each record against the clock at the moment it is judged.
        const StampTicks stamp = RecordStamp(client);
        if (!IsStale(NowStamp() - stamp))
            continue;
        // The text ends at its first NUL, as the command line and the log see it.
        std::string pid = RecordField(client, "PID:", 6);
        pid.resize(std::min(pid.size(), pid.find('\0')));
        KillClient(pid, stamp);
        ClearBloqSharedMemory(i);
    }
}

void checkPIDs()
{
    // One guard for the whole run: an exception must never leave the window
    // procedure that calls the sweep.
    try {
        SweepServer();
        const std::string count = CompactCount(ReadClientCountField());
        if (count.empty())
            return;
        SweepClients(count);
    } catch (const std::exception& e) {
        WriteLog(LOG_ERROR, "[WD] checkPIDs excepcion: %s", e.what());
    }
}
