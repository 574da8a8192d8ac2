# The keys window test starts the built program.
add_dependencies(tst_shell_keyswindow qorvel)
set_tests_properties(shell_keyswindow PROPERTIES TIMEOUT 300)
