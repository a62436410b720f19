#include "report.h"

#include <shell/log.h>

#include <cstdarg>
#include <cstdio>

static std::string ReportProgram = "zorva";
static bool ReportConsole = true;
static std::string ReportFile;

void SetReportProgram(const char* name) { ReportProgram = name; }
void SetReportConsole(bool on) { ReportConsole = on; }
void SetReportFile(const std::string& path) { ReportFile = path; }

void Report(const char* format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);

    if (ReportConsole) {
        std::fprintf(stderr, "%s: %s\n", ReportProgram.c_str(), message);
        std::fflush(stderr);
    }
    if (!ReportFile.empty()) {
        // Opened per line so that an operator can read, rotate or delete it.
        if (FILE* file = std::fopen(ReportFile.c_str(), "ab")) {
            std::fprintf(file, "[%s] %s\r\n", LocalStampText(UnixSecondsNow()).c_str(), message);
            std::fclose(file);
        }
    }
}
