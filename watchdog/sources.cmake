# The watchdog's sources apart from its entry point, by subsystem. The Windows
# executable and the host tests both build them.
set(WATCHDOG_DIR ${CMAKE_CURRENT_LIST_DIR})
set(WATCHDOG_SOURCES
  ${WATCHDOG_DIR}/shell/log.cpp
  ${WATCHDOG_DIR}/segment/segment.cpp
  ${WATCHDOG_DIR}/segment/stamp.cpp
  ${WATCHDOG_DIR}/segment/heartbeat.cpp
)
