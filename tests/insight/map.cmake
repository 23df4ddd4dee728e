torvane_test(torvane_map_tree_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_maptree.cpp LIBS torvane_insight LABELS insight)
torvane_test(torvane_map_layout_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_maplayout.cpp LIBS torvane_insight LABELS insight)
torvane_test(torvane_map_window_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mapwindow.cpp LIBS torvane_insight LABELS insight)
