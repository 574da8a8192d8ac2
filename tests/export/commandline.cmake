# The command-line tests run the real program.
add_dependencies(tst_export_commandline qorvel)
