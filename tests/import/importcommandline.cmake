# The import command line runs the real program.
add_dependencies(tst_import_importcommandline qorvel)
