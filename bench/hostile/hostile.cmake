# The library target, included both from here and from the tests (which are built also where
# the benchmark is not).
include_guard(GLOBAL)
add_library(torvane_hostile STATIC ${CMAKE_CURRENT_LIST_DIR}/HostileTree.cpp ${CMAKE_CURRENT_LIST_DIR}/HostileMeasure.cpp
            ${CMAKE_CURRENT_LIST_DIR}/HostileTree.h ${CMAKE_CURRENT_LIST_DIR}/HostileIo.h)
target_include_directories(torvane_hostile PUBLIC ${CMAKE_CURRENT_LIST_DIR})
set_target_properties(torvane_hostile PROPERTIES AUTOMOC OFF)
