torvane_test(torvane_startup_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_startup.cpp LIBS torvane_app LABELS app)
