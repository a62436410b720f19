// The service side: the dispatcher's ServiceMain, the control handler and
// the status reports.
#pragma once
#include "options.h"

// Runs the service dispatcher with `options` from the command line; returns the
// process exit code. Gives 1063 (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
// through GetLastError when the process was not started by the service
// control manager.
bool RunAsService(const ServerOptions& options, int& exitCode);

// --control: sends a control code to the running service (needed under Wine,
// whose sc knows no "control" command), or sets the matching event of a
// server running in a console.
int SendServiceControl(const std::string& what);
