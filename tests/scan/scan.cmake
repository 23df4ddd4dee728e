torvane_test(torvane_scan_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scan.cpp LIBS torvane_scan LABELS scan)
torvane_test(torvane_scan_text_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scantext.cpp LIBS torvane_scan LABELS scan)
