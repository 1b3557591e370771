# Build-wide switches and the helpers every folder uses.

# QV_SANITIZE: empty, "address" (AddressSanitizer with UndefinedBehaviorSanitizer)
# or "thread" (ThreadSanitizer). Each goes into a build folder of its own.
set(QV_SANITIZE "" CACHE STRING "Sanitizer build: empty, address or thread")
if(QV_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(QV_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT QV_SANITIZE STREQUAL "")
    message(FATAL_ERROR "QV_SANITIZE must be empty, address or thread")
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

add_compile_options(-Wall -Wextra)

# The environment every test runs in: headless, a fixed zone and locale, a
# private runtime folder, and the web engine's sandbox off (CI runs as root).
set(QV_TEST_ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen"
    "QTWEBENGINE_DISABLE_SANDBOX=1"
    "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox"
    "TZ=Europe/Berlin"
    "LC_ALL=C.UTF-8"
    "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/test-runtime"
    "QML_IMPORT_PATH=${CMAKE_BINARY_DIR}/qml"
    "QV_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
if(QV_SANITIZE STREQUAL "thread")
    list(APPEND QV_TEST_ENVIRONMENT
        "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/tsan/suppressions.txt")
endif()
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/test-runtime")

# qv_add_test(<name> SOURCES <files...> [LIBRARIES <targets...>] [ENVIRONMENT <K=V...>]
#             [LABELS <labels...>] [TIMEOUT <seconds>])
# A QtTest executable registered with CTest under the common environment.
function(qv_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBRARIES;ENVIRONMENT;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBRARIES})
    if(TARGET qvtsanqt)
        target_link_libraries(${name} PRIVATE qvtsanqt)
    endif()
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${QV_TEST_ENVIRONMENT};${T_ENVIRONMENT}"
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}")
endfunction()
