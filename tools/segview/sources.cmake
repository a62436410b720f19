# The inspector's judging and output, shared by segview.exe and its host tests.
set(SEGVIEW_DIR ${CMAKE_CURRENT_LIST_DIR})
set(SEGVIEW_CORE_SOURCES ${SEGVIEW_DIR}/inspect.cpp ${SEGVIEW_DIR}/render.cpp)
set(SEGVIEW_DEFINITIONS "")
# TEMPORARY: until the sweep's judging API is merged into sweep.h, a shim
# provides it (see sweep_shim.h); delete these lines with the shim.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${WATCHDOG_DIR}/sweep/sweep.h)
file(READ ${WATCHDOG_DIR}/sweep/sweep.h SEGVIEW_SWEEP_HEADER)
set(SEGVIEW_SWEEP_SHIM OFF)
if(NOT SEGVIEW_SWEEP_HEADER MATCHES "CheckKill")
  set(SEGVIEW_SWEEP_SHIM ON)
  list(APPEND SEGVIEW_CORE_SOURCES ${SEGVIEW_DIR}/sweep_shim.cpp)
  set(SEGVIEW_DEFINITIONS SEGVIEW_SWEEP_SHIM)
endif()
