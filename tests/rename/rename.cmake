torvane_test(torvane_rename_tests
  SOURCES main.cpp CaseRulesTest.cpp RenameFileTest.cpp RenameWindowTest.cpp FakeRenameHost.h
  LIBS torvane_rename
  LABELS rename)
