torvane_test(torvane_snapshot_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_snapshotfile.cpp LIBS torvane_insight LABELS insight)
torvane_test(torvane_comparison_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_comparison.cpp LIBS torvane_insight LABELS insight)
torvane_test(torvane_volumeidentity_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_volumeidentity.cpp LIBS torvane_fs LABELS insight)
torvane_test(torvane_changeswindow_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_changeswindow.cpp LIBS torvane_insight LABELS insight)
