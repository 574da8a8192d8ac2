# The crash-recovery window test starts, kills and restarts the built program.
add_dependencies(tst_shell_recoverywindow qorvel)
set_tests_properties(shell_recoverywindow PROPERTIES TIMEOUT 400)
