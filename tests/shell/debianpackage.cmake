# The package is made from the built program, manual page and icons.
add_dependencies(tst_shell_debianpackage qorvel qorvel_man qorvel_desktop_icons)
set_tests_properties(shell_debianpackage PROPERTIES TIMEOUT 600)
