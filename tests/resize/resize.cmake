torvane_test(torvane_resize_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/main.cpp ${CMAKE_CURRENT_LIST_DIR}/ResizerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WidgetFormAccessTest.cpp
  LIBS torvane_resize
  LABELS resize)
