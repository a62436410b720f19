#include "record_pid.h"

std::string PidRefusal(unsigned long pid)
{
    if (pid <= LargestRecordPid)
        return std::string();
    return "process id " + std::to_string(pid) +
           " has more than six digits: a heartbeat record holds six, and cut to six it would name "
           "another process; not started";
}
