torvane_test(torvane_frmdir_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_frmdir.cpp LIBS torvane_mainwindow LABELS mainwindow)
