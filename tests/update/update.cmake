torvane_test(torvane_update_version_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_version.cpp
  LIBS torvane_update LABELS update)
torvane_test(torvane_update_transfer_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_transfer.cpp
  LIBS torvane_update LABELS update)
torvane_test(torvane_update_window_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FakeHttpClient.h LIBS torvane_update LABELS update)
torvane_test(torvane_update_check_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_check.cpp
  LIBS torvane_update LABELS update)
