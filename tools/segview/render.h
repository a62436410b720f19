// The judged as text for an operator (one line per bloq in use, then the
// count and the watchdog) or as one JSON object per snapshot for scripts.
#pragma once
#include "judge.h"

#include <string>

std::string TextReport(const SegmentReport& judged);
std::string JsonReport(const SegmentReport& judged);
