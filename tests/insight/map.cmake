torvane_test(torvane_map_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_map.cpp LIBS torvane_insight LABELS insight)
