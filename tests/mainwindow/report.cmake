# The report window is compiled in directly, so its tests do not wait for the rest of the
# main window to build.
torvane_test(torvane_reportwindow_tests
  SOURCES tst_reportwindow.cpp ${CMAKE_SOURCE_DIR}/src/mainwindow/ReportWindow.cpp
  LIBS torvane_desktop LABELS report)
