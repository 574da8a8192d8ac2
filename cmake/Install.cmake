# Desktop integration for `cmake --install`: a launcher entry, the MIME type of
# ".gcp" score files and the program's icon, so that a file manager opens a
# score file in Qorvel工尺谱.
set(QORVEL_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/resources/desktop)
set(QORVEL_LOGO_SVG ${CMAKE_SOURCE_DIR}/resources/icons/logo-qt.svg)

# The logo rasterised for the fixed-size icon themes directories.
set(QORVEL_DESKTOP_ICON_SIZES 16 32 48 64 128 256)
set(_desktop_icons "")
foreach(_size ${QORVEL_DESKTOP_ICON_SIZES})
    set(_png ${QORVEL_GEN_DIR}/desktop/${_size}/qorvel.png)
    add_custom_command(OUTPUT ${_png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${QORVEL_GEN_DIR}/desktop/${_size}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:svg2png> ${QORVEL_LOGO_SVG} ${_png} ${_size}
        DEPENDS svg2png ${QORVEL_LOGO_SVG}
        COMMENT "Rasterising the desktop icon at ${_size} px"
        VERBATIM)
    list(APPEND _desktop_icons ${_png})
    install(FILES ${_png}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
endforeach()
add_custom_target(qorvel_desktop_icons ALL DEPENDS ${_desktop_icons})

install(FILES ${QORVEL_LOGO_SVG}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME qorvel.svg)
install(FILES ${QORVEL_DESKTOP_DIR}/qorvel.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QORVEL_DESKTOP_DIR}/qorvel-mime.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
    RENAME qorvel.xml)

# Refresh the desktop's caches for a direct install. Package builds (DESTDIR
# set) leave that to the package manager's triggers.
option(QORVEL_UPDATE_DESKTOP_CACHES "Refresh the MIME, desktop and icon caches after installing" ON)
if(QORVEL_UPDATE_DESKTOP_CACHES)
    install(CODE [[
        if("$ENV{DESTDIR}" STREQUAL "")
            set(_share "${CMAKE_INSTALL_PREFIX}/share")
            find_program(_update_mime update-mime-database)
            if(_update_mime)
                execute_process(COMMAND ${_update_mime} "${_share}/mime")
            endif()
            find_program(_update_desktop update-desktop-database)
            if(_update_desktop)
                execute_process(COMMAND ${_update_desktop} -q "${_share}/applications")
            endif()
            find_program(_update_icons gtk-update-icon-cache)
            if(_update_icons AND EXISTS "${_share}/icons/hicolor/index.theme")
                execute_process(COMMAND ${_update_icons} -q -t "${_share}/icons/hicolor")
            endif()
        endif()
    ]])
endif()
