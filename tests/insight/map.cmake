torvane_test(torvane_map_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_maplayout.cpp LIBS torvane_insight LABELS insight)
torvane_test(torvane_mapwindow_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mapwindow.cpp LIBS torvane_insight LABELS insight)
