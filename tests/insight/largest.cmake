torvane_test(torvane_largest_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_largest.cpp LIBS torvane_insight LABELS insight)
