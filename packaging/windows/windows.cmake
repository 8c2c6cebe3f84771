# What kaptorama.exe carries inside on Windows, so that it is one file: Qt's Windows platform
# plugin and Windows style, Qt's French dialog texts, the application icon, the version and the
# manifest (per-monitor DPI awareness, the current common controls).
set_target_properties(kaptorama PROPERTIES WIN32_EXECUTABLE ON)
qt_import_plugins(kaptorama NO_DEFAULT
    INCLUDE Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin)

# Qt's French texts, read by the program from :/translations.
set(kap_qm "${KAP_MINGW_SYSROOT}/translations/qtbase_fr.qm")
set(kap_qm_qrc ${CMAKE_CURRENT_BINARY_DIR}/qt_translations.qrc)
file(CONFIGURE OUTPUT ${kap_qm_qrc} CONTENT
     "<RCC>\n  <qresource prefix=\"/translations\">\n    <file alias=\"qtbase_fr.qm\">${kap_qm}</file>\n  </qresource>\n</RCC>\n")
target_sources(kaptorama PRIVATE ${kap_qm_qrc})

# The icon of the program file, from the same pictures as the windows'.
set(kap_ico ${CMAKE_CURRENT_BINARY_DIR}/kaptorama.ico)
set(kap_ico_entries)
set(kap_ico_pngs)
foreach(size 16 24 32 48 64 256)
    set(png ${CMAKE_CURRENT_SOURCE_DIR}/icons/hicolor/${size}x${size}/apps/kaptorama.png)
    list(APPEND kap_ico_entries ${size}=${png})
    list(APPEND kap_ico_pngs ${png})
endforeach()
add_custom_command(OUTPUT ${kap_ico}
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/make-ico.sh ${kap_ico} ${kap_ico_entries}
    DEPENDS ${kap_ico_pngs} ${CMAKE_CURRENT_SOURCE_DIR}/windows/make-ico.sh
    VERBATIM)
add_custom_target(kap_windows_icon DEPENDS ${kap_ico})
add_dependencies(kaptorama kap_windows_icon)
configure_file(windows/kaptorama.rc.in ${CMAKE_CURRENT_BINARY_DIR}/kaptorama.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/kaptorama.rc PROPERTIES
    OBJECT_DEPENDS "${kap_ico};${CMAKE_CURRENT_SOURCE_DIR}/windows/kaptorama.manifest")
target_sources(kaptorama PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/kaptorama.rc)

# The installer, kaptorama-<version>-setup.exe, made with NSIS, and the portable zip of the one
# program file.
set(kap_exe $<TARGET_FILE:kaptorama>)
set(kap_setup ${CMAKE_BINARY_DIR}/kaptorama-${PROJECT_VERSION}-setup.exe)
set(kap_zip ${CMAKE_BINARY_DIR}/kaptorama-${PROJECT_VERSION}-portable.zip)
find_program(KAP_MAKENSIS makensis)
if(KAP_MAKENSIS)
    configure_file(windows/kaptorama.nsi.in ${CMAKE_CURRENT_BINARY_DIR}/kaptorama.nsi.in @ONLY)
    file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/kaptorama.nsi
         INPUT ${CMAKE_CURRENT_BINARY_DIR}/kaptorama.nsi.in)
    add_custom_command(OUTPUT ${kap_setup}
        COMMAND ${KAP_MAKENSIS} -V2 ${CMAKE_CURRENT_BINARY_DIR}/kaptorama.nsi
        DEPENDS kaptorama ${CMAKE_CURRENT_BINARY_DIR}/kaptorama.nsi ${kap_ico}
        VERBATIM)
    add_custom_target(kap_windows_setup ALL DEPENDS ${kap_setup})
else()
    message(STATUS "makensis not found: no installer")
endif()
add_custom_command(OUTPUT ${kap_zip}
    COMMAND ${CMAKE_COMMAND} -E chdir $<TARGET_FILE_DIR:kaptorama>
            ${CMAKE_COMMAND} -E tar cf ${kap_zip} --format=zip $<TARGET_FILE_NAME:kaptorama>
    DEPENDS kaptorama
    VERBATIM)
add_custom_target(kap_windows_zip ALL DEPENDS ${kap_zip})
