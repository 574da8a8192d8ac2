# The crash-recovery window test starts, kills and restarts the built program
# thirty times on a 20,000-character document, which the preview pane now
# typesets at every start: it gets room for a slow, instrumented build.
add_dependencies(tst_shell_recoverywindow qorvel)
set_tests_properties(shell_recoverywindow PROPERTIES TIMEOUT 600)
