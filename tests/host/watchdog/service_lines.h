// Shared by the service-control tests: journal entries and log lines as lists
// that read in the order the calls happen.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

inline const std::string OpenMgr = "OpenSCManagerA 0x1";
inline const std::string Query = "QueryServiceStatusEx ZorvaService";
inline const std::string EnumSize = "EnumDependentServicesA ZorvaService 0";
inline const std::string CloseSvc = "CloseServiceHandle ZorvaService";
inline const std::string CloseMgr = "CloseServiceHandle manager";

inline Lines Cat(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline Lines Repeat(int times, const Lines& part)
{
    Lines all;
    for (int i = 0; i < times; ++i)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}
