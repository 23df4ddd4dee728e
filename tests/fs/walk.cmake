# The walk's tests are also built with ThreadSanitizer (label "walk"). Qt is not built with it, so
# the thread of Qt Test's watchdog and its wait condition look racy to it; calls made from inside
# Qt's own libraries are left out, while every access of the walk and the tests is still checked.
# Their oracle is the hostile-tree library's sequential walk.
include(${CMAKE_SOURCE_DIR}/bench/hostile/hostile.cmake)
torvane_test(torvane_walk_tests SOURCES tst_walk.cpp LIBS torvane_fs torvane_hostile LABELS walk)
set(walk_tsan_supp ${CMAKE_CURRENT_BINARY_DIR}/walk-tsan.supp)
file(WRITE ${walk_tsan_supp} "called_from_lib:libQt6Core.so.6\ncalled_from_lib:libQt6Test.so.6\n")
set_tests_properties(torvane_walk_tests PROPERTIES TIMEOUT 600
  ENVIRONMENT_MODIFICATION "TSAN_OPTIONS=string_append: suppressions=${walk_tsan_supp}")
torvane_test(torvane_walk_insight_tests SOURCES tst_walkinsight.cpp LIBS torvane_fs torvane_hostile LABELS walk)
set_tests_properties(torvane_walk_insight_tests PROPERTIES TIMEOUT 600
  ENVIRONMENT_MODIFICATION "TSAN_OPTIONS=string_append: suppressions=${walk_tsan_supp}")
