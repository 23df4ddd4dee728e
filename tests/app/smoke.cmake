# The real program on a virtual X display (xvfb-run); skipped when the X tools are missing.
add_test(NAME torvane_smoke COMMAND ${CMAKE_CURRENT_LIST_DIR}/smoke.sh $<TARGET_FILE:torvane>)
set_tests_properties(torvane_smoke PROPERTIES LABELS e2e TIMEOUT 120 SKIP_RETURN_CODE 77)
