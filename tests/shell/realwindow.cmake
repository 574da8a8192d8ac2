# The real-window test starts the built program.
add_dependencies(tst_shell_realwindow qorvel)
set_tests_properties(shell_realwindow PROPERTIES TIMEOUT 180)
