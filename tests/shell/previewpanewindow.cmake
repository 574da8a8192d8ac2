# The preview pane window test starts the built program.
add_dependencies(tst_shell_previewpanewindow qorvel)
set_tests_properties(shell_previewpanewindow PROPERTIES TIMEOUT 300)
