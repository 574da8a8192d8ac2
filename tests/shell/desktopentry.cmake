# The desktop files are checked as `cmake --install` lays them out.
add_dependencies(tst_shell_desktopentry qorvel qorvel_man qorvel_desktop_icons)
