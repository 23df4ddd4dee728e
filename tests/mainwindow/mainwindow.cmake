torvane_test(torvane_mainwindow_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow.cpp LIBS torvane_mainwindow LABELS mainwindow)
torvane_test(torvane_maincommands_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_maincommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainWindowHarness.h LIBS torvane_mainwindow LABELS mainwindow)
