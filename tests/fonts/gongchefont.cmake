# The specimen sheet of the embedded font renders, and finds a glyph for every
# symbol of the shipped dictionary (its exit status says so).
add_test(NAME fonts_specimen
    COMMAND fontspecimen ${CMAKE_CURRENT_BINARY_DIR}/fonts_specimen.png
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(fonts_specimen PROPERTIES
    LABELS fonts
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_FONT_DPI=96;XDG_RUNTIME_DIR=${CMAKE_CURRENT_BINARY_DIR}/fonts_specimen_xdg")
