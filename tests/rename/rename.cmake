torvane_test(torvane_rename_tests
  SOURCES RenameFileTest.cpp RenameWindowTest.cpp FakeRenameHost.h
  LIBS torvane_rename
  LABELS rename)
