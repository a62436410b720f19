// The sweep parses one stamp per record, up to 254 a minute. ParseStamp is
// measured against the standard library's std::get_time reading the same text
// in the same run; the ratio of the two is what to compare between versions.
#include "../watchdog/segment/heartbeat.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <iomanip>
#include <sstream>

static const std::string Record = std::string("05/03/24 07:08:09") + '\0' + '\0';

static void BM_ParseStamp(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseStamp(Record));
}
BENCHMARK(BM_ParseStamp);

static void BM_GetTimeBaseline(benchmark::State& state)
{
    for (auto _ : state) {
        std::tm tm = {};
        std::istringstream in(Record);
        in >> std::get_time(&tm, "%d/%m/%y %H:%M:%S");
        benchmark::DoNotOptimize(timegm(&tm));
    }
}
BENCHMARK(BM_GetTimeBaseline);

BENCHMARK_MAIN();
