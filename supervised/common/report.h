// Messages of the reference programs: to stderr when there is a console, and
// to a log file when one is set (the service has no console to write to).
#pragma once
#include <string>

// "program: " in front of every console line.
void SetReportProgram(const char* name);
void SetReportConsole(bool on);
// Lines are appended with a local time stamp; an empty path turns it off.
void SetReportFile(const std::string& path);

void Report(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
