# The command-line tests run the real program.
add_dependencies(tst_staff_staffcommandline qorvel)
