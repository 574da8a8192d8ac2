# The installed tree of `cmake --install` and of the Debian package:
#   bin/qorvel
#   share/qorvel/                      examples and licence notes
#   share/applications/org.qorvel.Qorvel.desktop
#   share/metainfo/org.qorvel.Qorvel.metainfo.xml
#   share/mime/packages/org.qorvel.Qorvel.xml   score (.gcp) and book (.gcpbook) files
#   share/icons/hicolor/{16..512}/apps/qorvel.png, scalable/apps/qorvel.svg
#   share/man/man1/qorvel.1
# so that a file manager opens score files in Qorvel工尺谱 and software centres
# list it. The program finds share/qorvel beside its bin directory (AppPaths).
set(QORVEL_DESKTOP_ID org.qorvel.Qorvel)
set(QORVEL_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/resources/desktop)
set(QORVEL_LOGO_SVG ${CMAKE_SOURCE_DIR}/resources/icons/logo-qt.svg)

# The logo rasterised for the fixed-size icon themes directories.
set(QORVEL_DESKTOP_ICON_SIZES 16 32 48 64 128 256 512)
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
install(FILES ${QORVEL_DESKTOP_DIR}/${QORVEL_DESKTOP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QORVEL_DESKTOP_DIR}/${QORVEL_DESKTOP_ID}.mime.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
    RENAME ${QORVEL_DESKTOP_ID}.xml)
configure_file(${QORVEL_DESKTOP_DIR}/${QORVEL_DESKTOP_ID}.metainfo.xml.in
    ${QORVEL_GEN_DIR}/desktop/${QORVEL_DESKTOP_ID}.metainfo.xml @ONLY)
install(FILES ${QORVEL_GEN_DIR}/desktop/${QORVEL_DESKTOP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The program's shared files.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/
    DESTINATION ${CMAKE_INSTALL_DATADIR}/qorvel/examples)
install(FILES ${CMAKE_SOURCE_DIR}/resources/fonts/LICENSE.md
    ${CMAKE_SOURCE_DIR}/resources/fonts/ARPHIC-PUBLIC-LICENSE.txt
    DESTINATION ${CMAKE_INSTALL_DATADIR}/qorvel/fonts)

# The manual page, written in scdoc and generated at build time.
find_program(QORVEL_SCDOC scdoc REQUIRED)
set(QORVEL_MAN_SOURCE ${CMAKE_SOURCE_DIR}/resources/man/qorvel.1.scd)
set(QORVEL_MAN_PAGE ${QORVEL_GEN_DIR}/man/qorvel.1)
add_custom_command(OUTPUT ${QORVEL_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QORVEL_GEN_DIR}/man
    COMMAND sh -c "\"$0\" < \"$1\" > \"$2\"" ${QORVEL_SCDOC} ${QORVEL_MAN_SOURCE} ${QORVEL_MAN_PAGE}
    DEPENDS ${QORVEL_MAN_SOURCE}
    COMMENT "Generating the manual page"
    VERBATIM)
add_custom_target(qorvel_man ALL DEPENDS ${QORVEL_MAN_PAGE})
install(FILES ${QORVEL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

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
