# The inspector's judging and output, shared by segview.exe and its host tests.
set(SEGVIEW_DIR ${CMAKE_CURRENT_LIST_DIR})
set(SEGVIEW_CORE_SOURCES ${SEGVIEW_DIR}/judge.cpp ${SEGVIEW_DIR}/render.cpp)
