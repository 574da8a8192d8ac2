# The manual page is checked against the built program's --help.
add_dependencies(tst_shell_manpage qorvel qorvel_man)
