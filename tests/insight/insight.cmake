torvane_test(torvane_snapshot_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_snapshots.cpp LIBS torvane_insight LABELS insight)
target_compile_definitions(torvane_snapshot_tests PRIVATE TORVANE_SNAPSHOT_SEEDS="${CMAKE_SOURCE_DIR}/fuzz/corpus/fuzz_snapshot")
torvane_test(torvane_changes_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_changes.cpp LIBS torvane_insight LABELS insight)
