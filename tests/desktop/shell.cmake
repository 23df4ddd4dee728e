torvane_test(torvane_shell_tests SOURCES tst_shell.cpp LIBS torvane_desktop LABELS shell)
torvane_test(torvane_shell_trash_tests SOURCES tst_trash.cpp LIBS torvane_desktop LABELS shell)
