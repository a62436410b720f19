// The inspection as text for an operator (one line per bloq in use, then the
// count and the watchdog) or as one JSON object per snapshot for scripts.
#pragma once
#include "inspect.h"

#include <string>

std::string TextReport(const Inspection& inspection);
std::string JsonReport(const Inspection& inspection);
