# The walk's tests are also built with ThreadSanitizer (label "walk"). Qt is not built with it, so
# the thread of Qt Test's watchdog and its wait condition look racy to it; calls made from inside
# Qt's own libraries are left out, while every access of the walk and the tests is still checked.
# Their oracle is the hostile-tree library's sequential walk.
#   torvane_walk_tests          past PATH_MAX, the FileSystem calls, folders made later, mount points
#   torvane_walk_insight_tests  one mixed tree: sizes, the index, the progress, the largest files
#   torvane_walk_safety_tests   links never followed, the descriptor budget, trees changing meanwhile
#   torvane_walk_access_tests   access times kept and shown, unreadable folders (also as nobody)
include(${CMAKE_SOURCE_DIR}/bench/hostile/hostile.cmake)
set(walk_tsan_supp ${CMAKE_CURRENT_BINARY_DIR}/walk-tsan.supp)
file(WRITE ${walk_tsan_supp} "called_from_lib:libQt6Core.so.6\ncalled_from_lib:libQt6Test.so.6\n")
foreach(group walk walk_safety walk_access walk_insight)
  string(REPLACE "_" "" source ${group})
  torvane_test(torvane_${group}_tests SOURCES tst_${source}.cpp WalkFixture.h LIBS torvane_fs torvane_hostile LABELS walk)
  set_tests_properties(torvane_${group}_tests PROPERTIES TIMEOUT 600
    ENVIRONMENT_MODIFICATION "TSAN_OPTIONS=string_append: suppressions=${walk_tsan_supp}")
endforeach()
