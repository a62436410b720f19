// TEMPORARY: the sweep's judging API as agreed, built on the sweep's current
// helpers until that API is merged into sweep/sweep.h. sources.cmake leaves
// this out by itself once sweep.h declares CheckKill; then delete this file,
// sweep_shim.cpp and the shim lines in sources.cmake and inspect.cpp.
#pragma once
#include <windows.h>

#include <sweep/sweep.h>

#include <string>

bool IsRecord(const std::string& bloq);
StampTicks RecordStamp(const std::string& record);
bool IsStale(StampTicks age);
int LastClientBloq(int count);
enum KillCheck { KillRun, KillPidNotNumber, KillPidReused };
KillCheck CheckKill(const std::string& pidText, StampTicks recordStamp, HANDLE* process = nullptr);
