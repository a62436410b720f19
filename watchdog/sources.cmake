# Where the watchdog's sources live; the host tests and the benchmarks build
# them against the Win32 stand-in.
set(WATCHDOG_DIR ${CMAKE_CURRENT_LIST_DIR})
