# What `cmake --install` puts under the prefix. The program looks for its QML
# modules in the "qml" folder beside its executable, so the executable, its
# libraries and that folder stay together in one private folder; bin/ holds a
# link to the executable (Qt resolves the link to find its own folder).
#
#   bin/QuorvANTIS                       link to the executable
#   lib/quorvantis/                      executable and libraries
#   lib/quorvantis/qml/<URI>/            qmldir and plugin of each module
#   lib/udev/rules.d/                    the instrument's access rule
#   share/applications/, share/icons/    desktop entry and icon
#   share/doc/quorvantis/                licences of the embedded libraries
#
# Test tooling (simulator, stand-in hidapi, test web service, probe) has no
# install rules and so is never installed.

set(QV_INSTALL_APPDIR "lib/quorvantis")

# Module libraries loaded through the import path; their QML files are
# compiled into the libraries, so only qmldir and plugin go to disk.
set(qv_installed_modules
    quorvantis quorvantishid settrove wirlex quorvantisapi quorvantisexport frelkit elements promptwell)
# Libraries the executable links (their modules sit in the resources).
set(qv_linked_libraries quorvantisshell quorvantiscontent)

set(qv_runtime_targets)
foreach(module IN LISTS qv_installed_modules)
    if(NOT TARGET ${module})
        continue()
    endif()
    get_target_property(uri ${module} QT_QML_MODULE_URI)
    get_target_property(plugin ${module} QT_QML_MODULE_PLUGIN_TARGET)
    get_target_property(module_dir ${module} QT_QML_MODULE_OUTPUT_DIRECTORY)
    set(destination "${QV_INSTALL_APPDIR}/qml/${uri}")
    install(TARGETS ${module} LIBRARY DESTINATION "${QV_INSTALL_APPDIR}")
    install(TARGETS ${plugin} LIBRARY DESTINATION "${destination}")
    install(FILES "${module_dir}/qmldir" DESTINATION "${destination}")
    set_target_properties(${plugin} PROPERTIES INSTALL_RPATH "$ORIGIN/../..")
    list(APPEND qv_runtime_targets ${module} ${plugin})
endforeach()

foreach(library IN LISTS qv_linked_libraries)
    if(TARGET ${library})
        install(TARGETS ${library} LIBRARY DESTINATION "${QV_INSTALL_APPDIR}")
    endif()
endforeach()

if(NOT TARGET QuorvANTIS)
    return()
endif()

# Everything sits beside the executable; nothing is looked for elsewhere.
set_target_properties(QuorvANTIS ${qv_linked_libraries} ${qv_installed_modules}
    PROPERTIES INSTALL_RPATH "$ORIGIN")
# Building the program builds what it loads at run time.
add_dependencies(QuorvANTIS ${qv_runtime_targets})

install(TARGETS QuorvANTIS RUNTIME DESTINATION "${QV_INSTALL_APPDIR}")
set(qv_link "${CMAKE_BINARY_DIR}/install-links/QuorvANTIS")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/install-links")
file(CREATE_LINK "../${QV_INSTALL_APPDIR}/QuorvANTIS" "${qv_link}" SYMBOLIC)
install(FILES "${qv_link}" DESTINATION bin)

install(FILES "${PROJECT_SOURCE_DIR}/packaging/udev/70-quorvantis-instrument.rules"
    DESTINATION lib/udev/rules.d)
install(FILES "${PROJECT_SOURCE_DIR}/app/assets/icon.png"
    DESTINATION share/icons/hicolor/128x128/apps RENAME quorvantis.png)
install(FILES "${PROJECT_SOURCE_DIR}/node_modules/plotly.js-dist/LICENSE"
    DESTINATION share/doc/quorvantis RENAME LICENSE-plotly.js.txt)
install(FILES "/usr/share/doc/fonts-roboto-unhinted/copyright"
    DESTINATION share/doc/quorvantis RENAME LICENSE-roboto.txt OPTIONAL)

# The desktop entry names the program by its full path, known only once the
# prefix is (cmake --install --prefix).
install(CODE "
    set(qv_desktop_template \"${PROJECT_SOURCE_DIR}/packaging/quorvantis.desktop.in\")
    set(qv_desktop_stage \"${CMAKE_BINARY_DIR}/install-links\")
    include(\"${CMAKE_CURRENT_LIST_DIR}/QvInstallDesktopEntry.cmake\")
")
