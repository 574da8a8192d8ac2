# The command-line tests run the real program.
add_dependencies(tst_library_librarycommandline qorvel)
