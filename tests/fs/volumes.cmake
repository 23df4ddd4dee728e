torvane_test(torvane_volumes_tests SOURCES tst_volumes.cpp LIBS torvane_fs LABELS volumes)
