torvane_test(torvane_update_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_update.cpp LIBS torvane_update LABELS update)
torvane_test(torvane_update_window_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_update_window.cpp LIBS torvane_update
             LABELS update)
