// Names by which operators, tests and the demo drive the reference programs.
#pragma once
#include <windows.h>

#include <string>

const char* const ZorvaServiceName = "ZorvaService";

// Custom service controls (sc control ZorvaService 128): stop heartbeating
// while staying alive, and start again.
const DWORD ServerControlHang = 128;
const DWORD ServerControlResume = 129;

// Events of a server run with --console, which has no service controls.
const char* const ServerStopEventName = "Local\\ZorvaServerStop";
const char* const ServerHangEventName = "Local\\ZorvaServerHang";
const char* const ServerResumeEventName = "Local\\ZorvaServerResume";

// Per-client events: "Local\ZorvaClientStop.<pid>", ...Hang..., ...Resume...
inline std::string ClientEventName(const char* what, unsigned long pid)
{
    return std::string("Local\\ZorvaClient") + what + "." + std::to_string(pid);
}
