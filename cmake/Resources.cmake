# Builds the compiled-in resources:
#   :/resources/fonts/tolvk.ttf   generated at build time from AR PL UKai
#   :/icons/resources/icons/*.png rasterised at build time from resources/icons/*.svg
#   :/resources/wordsdict.csv     the shipped abbreviation dictionary
set(QORVEL_GEN_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${QORVEL_GEN_DIR}/resources/fonts ${QORVEL_GEN_DIR}/resources/icons)

set(QORVEL_UKAI_FONT /usr/share/fonts/truetype/arphic/ukai.ttc CACHE FILEPATH "AR PL UKai collection")
set(QORVEL_FONT_SCRIPT ${CMAKE_SOURCE_DIR}/tools/fontgen/make_font.py)
set(QORVEL_FONT_FILE ${QORVEL_GEN_DIR}/resources/fonts/tolvk.ttf)

set(_qrc_entries "")
if(EXISTS ${QORVEL_FONT_SCRIPT})
    file(GLOB _fontgen_deps CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/fontgen/*.py)
    add_custom_command(OUTPUT ${QORVEL_FONT_FILE}
        COMMAND /usr/bin/python3 ${QORVEL_FONT_SCRIPT} --source ${QORVEL_UKAI_FONT} --output ${QORVEL_FONT_FILE}
        DEPENDS ${_fontgen_deps}
        COMMENT "Generating the gongche font tolvk.ttf"
        VERBATIM)
    string(APPEND _qrc_entries "    <file alias=\"resources/fonts/tolvk.ttf\">${QORVEL_FONT_FILE}</file>\n")
endif()

# The built-in welcome page is the start page the vendor's site serves.
if(EXISTS ${CMAKE_SOURCE_DIR}/site/sponsor)
    string(APPEND _qrc_entries
        "    <file alias=\"resources/welcome.html\">${CMAKE_SOURCE_DIR}/site/sponsor</file>\n")
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/resources/wordsdict.csv)
    string(APPEND _qrc_entries
        "    <file alias=\"resources/wordsdict.csv\">${CMAKE_SOURCE_DIR}/resources/wordsdict.csv</file>\n")
endif()

# Icons: every resources/icons/NAME.svg becomes :/icons/resources/icons/NAME.png.
add_executable(svg2png ${CMAKE_SOURCE_DIR}/tools/svg2png/svg2png.cpp)
target_link_libraries(svg2png PRIVATE Qt5::Svg Qt5::Gui)
file(GLOB _icon_svgs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/icons/*.svg)
set(_icon_qrc_entries "")
foreach(_svg ${_icon_svgs})
    get_filename_component(_name ${_svg} NAME_WE)
    set(_png ${QORVEL_GEN_DIR}/resources/icons/${_name}.png)
    add_custom_command(OUTPUT ${_png}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:svg2png> ${_svg} ${_png} 64
        DEPENDS svg2png ${_svg}
        COMMENT "Rasterising icon ${_name}"
        VERBATIM)
    string(APPEND _icon_qrc_entries "    <file alias=\"resources/icons/${_name}.png\">${_png}</file>\n")
endforeach()

set(QORVEL_QRC ${QORVEL_GEN_DIR}/qorvel.qrc)
set(_qrc_text "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n${_qrc_entries}</qresource>\n<qresource prefix=\"/icons\">\n${_icon_qrc_entries}</qresource>\n</RCC>\n")
file(CONFIGURE OUTPUT ${QORVEL_QRC} CONTENT "${_qrc_text}")

qt5_add_resources(QORVEL_RESOURCE_SOURCES ${QORVEL_QRC})
add_library(qorvel_resources OBJECT ${QORVEL_RESOURCE_SOURCES})
set_target_properties(qorvel_resources PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
