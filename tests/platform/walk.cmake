# The walk's tests are also built with ThreadSanitizer (label "walk"); they start no Qt threads.
torvane_test(torvane_walk_tests SOURCES tst_walk.cpp oracle.cpp oracle.h LIBS torvane_platform LABELS walk)
set_tests_properties(torvane_walk_tests PROPERTIES TIMEOUT 600)
