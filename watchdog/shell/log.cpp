#include "log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fstream>

long long UnixSecondsNow()
{
    // FILETIME counts 100 ns ticks since 1601; 1970 lies 11644473600 s later.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<long long>(ticks / 10000000ULL) - 11644473600LL;
}

std::string LocalStampText(long long unixSeconds)
{
    const std::time_t seconds = static_cast<std::time_t>(unixSeconds);
    const std::tm* local = std::localtime(&seconds);
    if (local == nullptr)
        return "";
    // The C runtime on Windows knows no %T; %H:%M:%S renders the same text.
    char text[20] = {};
    std::strftime(text, sizeof text, "%d/%m/%y %H:%M:%S", local);
    return text;
}

static const char* LevelWord(int level)
{
    switch (level) {
    case LOG_DEBUG: return "DEBUG";
    case LOG_INFO: return "INFO";
    case LOG_WARNING: return "WARNING";
    case LOG_ERROR: return "ERROR";
    case LOG_CRITICO: return "CRITICO";
    default: return "OTROS";
    }
}

void WriteLog(int level, const char* format, ...)
{
    // Opened per call and in the C runtime's shared mode, so that other
    // processes may hold the file open meanwhile. Binary mode with explicit
    // CR LF gives the same bytes as text mode on every platform.
    std::ofstream file("../Log.txt", std::ios::out | std::ios::app | std::ios::binary);
    if (!file.is_open())
        return;

    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);

    std::string line = "[" + LocalStampText(UnixSecondsNow()) + "] " + LevelWord(level) + ": ";
    line += message;
    line += '\n';
    std::string bytes;
    bytes.reserve(line.size() + 8);
    for (char c : line) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.flush();
}
