#include "sweep.h"

#include "../segment/segment.h"
#include "../service/service.h"
#include "../shell/log.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

std::string RecordField(const std::string& record, const char* tag, size_t width)
{
    const size_t at = record.find(tag);
    const size_t start = at == std::string::npos ? 3 : at + 4;
    return start < record.size() ? record.substr(start, width) : "";
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

static StampTicks CreationStamp(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return 0;
    FILETIME created, exited, kernel, user;
    StampTicks stamp = 0;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        const unsigned long long ticks =
            (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        stamp = StampOfUnixSeconds(static_cast<long long>(ticks / 10000000ULL) - 11644473600LL);
    }
    CloseHandle(process);
    return stamp;
}

bool MayKill(const std::string& pidText, StampTicks stamp)
{
    // The text comes from another process and goes to the command interpreter
    // of an administrator: nothing but digits may pass.
    if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    // Windows reuses process numbers. A process created after the record was
    // written cannot be its writer; two seconds allow for rounding.
    const StampTicks created = CreationStamp(static_cast<DWORD>(std::stoul(pidText)));
    return created == 0 || created <= stamp + 2 * TicksPerSecond;
}

static bool IsRecord(const std::string& bloq)
{
    return bloq.compare(0, 3, "PID") == 0;
}

// Age of a record against the clock at the moment it is judged.
static StampTicks StampOf(const std::string& record)
{
    return ParseStamp(RecordField(record, "INI:", std::string::npos));
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
    const StampTicks stamp = StampOf(server);
    if (NowStamp() - stamp < StaleAge)
        return;
    if (RecordField(server, "TYP:", 3) == "SVR")
        RestartServer();
}

static void SweepClients(const std::string& countText)
{
    const int count = ConvertCount(countText);
    for (int i = 3; i <= count + 2; ++i) {
        const std::string client = ReadBloqFromSharedMemory(i);
        if (!IsRecord(client))
            continue;
        const StampTicks stamp = StampOf(client);
        if (NowStamp() - stamp < StaleAge)
            continue;
        // The text ends at its first NUL, as the command line and the log see it.
        std::string pid = RecordField(client, "PID:", 6);
        pid.resize(std::min(pid.size(), pid.find('\0')));
        if (MayKill(pid, stamp))
            std::system(("taskkill /F /PID " + pid).c_str());
        WriteLog(LOG_WARNING, "[WD] TASKKILL Pid: %s", pid.c_str());
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
