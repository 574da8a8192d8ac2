# The Debian package: `cpack -G DEB` in the build directory writes
# qorvel_<version>_<arch>.deb with the tree of cmake/Install.cmake under /usr.
# Depends joins what dpkg-shlibdeps finds for the binary with the packages whose
# programs and plugins the program loads at run time: LilyPond for staff pages,
# a General MIDI sound font for playback and WAV export, the DejaVu fonts, and
# Qt's SQLite driver (library index), SVG support and audio output plugins.
#
# Packaging (and `ninja install`) installs what is built, without building
# every test and benchmark first: build the program (or everything) before.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME qorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Qorvel developers")
set(CPACK_PACKAGE_CONTACT "The Qorvel developers <maintainers@qorvel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor and typesetter of Kunqu opera scores in gongche notation")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Qorvel工尺谱 writes and typesets scores of Kunqu opera in gongche notation (工尺谱).\n"
    "The lyrics and the gongche symbols of each sung character are typed side by side,\n"
    "and a live preview shows the vertical score. Pages are exported as PDF, SVG, PNG\n"
    "or JPG in gongche columns, as numbered notation or as staff, and melodies as MIDI,\n"
    "MusicXML or WAV. Exports also run from the command line, without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://qorvel.org)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "lilypond, timgm6mb-soundfont, fonts-dejavu-core, libqt5sql5-sqlite, libqt5svg5, libqt5multimedia5-plugins")
# Chinese families for the Windows font names 楷体 and 黑体, and Qt's own
# translations for the standard dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-arphic-ukai, fonts-arphic-uming, fonts-wqy-microhei, qttranslations5-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
