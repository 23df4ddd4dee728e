torvane_test(torvane_resize_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ResizerTest.cpp
  LIBS torvane_resize
  LABELS resize)
