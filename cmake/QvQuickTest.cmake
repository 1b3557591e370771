# qv_add_quick_test(<name> [QML_DIR <dir>] [LIBRARIES <targets...>] [DEPENDS <targets...>]
#                   [ENVIRONMENT <K=V...>] [LABELS <labels...>] [TIMEOUT <seconds>])
#
# A Qt Quick Test executable over the tst_*.qml files of QML_DIR (default: the
# calling folder). Its main initialises the web engine before the application,
# selects the Material style (light theme), links and imports the executable's
# built-in modules (QVImports, FontAwesome), puts build/qml and qrc:/ on the
# import path and publishes the harness document's ids as context properties:
# screenScaler (on a fake screen, harness.fakeScreen), mainWindow, clipboard
# (a stand-in that records what it is given), awesome and harness itself.
# DEPENDS names the module targets the tests import (elements is always built).
set(QV_QUICK_TEST_HARNESS_DIR "${CMAKE_CURRENT_LIST_DIR}/../tests/elements/harness")

function(qv_add_quick_test name)
    cmake_parse_arguments(T "" "TIMEOUT;QML_DIR" "LIBRARIES;DEPENDS;ENVIRONMENT;LABELS" ${ARGN})
    if(NOT T_QML_DIR)
        set(T_QML_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    add_executable(${name} "${QV_QUICK_TEST_HARNESS_DIR}/quicktestmain.cpp")
    qt_add_resources(${name} "${name}_harness"
        PREFIX /qvtest
        BASE "${QV_QUICK_TEST_HARNESS_DIR}"
        FILES "${QV_QUICK_TEST_HARNESS_DIR}/Harness.qml")
    target_compile_definitions(${name} PRIVATE
        QUICK_TEST_SOURCE_DIR="${T_QML_DIR}"
        QV_QML_IMPORT_DIR="${CMAKE_BINARY_DIR}/qml")
    target_link_libraries(${name} PRIVATE
        Qt6::QuickTest Qt6::Quick Qt6::Qml Qt6::QuickControls2 Qt6::WebEngineQuick
        QVImportsplugin FontAwesomeplugin FontAwesome ${T_LIBRARIES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    add_dependencies(${name} elements elementshook ${T_DEPENDS})
    add_test(NAME ${name} COMMAND ${name} -input "${T_QML_DIR}")
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${QV_TEST_ENVIRONMENT};${T_ENVIRONMENT}"
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}")
endfunction()

# qv_add_qmllint_test(<name> <module targets...>)
# Lints every QML file of the given qt_add_qml_module targets. Unqualified
# access is by design (context ids of the host document), so only that
# category is silenced.
function(qv_add_qmllint_test name)
    set(files)
    foreach(target IN LISTS ARGN)
        get_target_property(lint_files ${target} QT_QML_LINT_FILES)
        if(lint_files)
            list(APPEND files ${lint_files})
        endif()
    endforeach()
    add_test(NAME ${name}
        COMMAND Qt6::qmllint --unqualified disable -I "${CMAKE_BINARY_DIR}/qml" ${files})
endfunction()
