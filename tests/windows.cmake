# Tests of the real windows, offscreen. Screens rendered by the tests land in build/<preset>/screens.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
if(WIN32)
    tandrel_check_windows_qt(Test)
endif()

set(TANDREL_SCREENS_DIR ${CMAKE_BINARY_DIR}/screens)
set(TANDREL_XDG_DIR ${CMAKE_BINARY_DIR}/xdg-runtime)
file(MAKE_DIRECTORY ${TANDREL_SCREENS_DIR} ${TANDREL_XDG_DIR})
file(CHMOD ${TANDREL_XDG_DIR} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
# The windows take the user's number format at start-up: the same one on every machine.
set(TANDREL_GUI_ENVIRONMENT QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${TANDREL_XDG_DIR}
    ${TANDREL_LSAN_ENVIRONMENT} LC_ALL=C.UTF-8)

# tandrel_window_test(name sources...): a QtTest program on the real windows.
function(tandrel_window_test name)
    add_executable(${name} ${ARGN})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE tandrel_console Qt6::Test)
    target_compile_options(${name} PRIVATE ${TANDREL_WARNINGS})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE TANDREL_SCREENS_DIR="${TANDREL_SCREENS_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${TANDREL_GUI_ENVIRONMENT}" TIMEOUT 300)
    set_property(GLOBAL APPEND PROPERTY TANDREL_WINDOW_TESTS $<TARGET_FILE:${name}>)
endfunction()

include(console/windows_tests.cmake)
if(NOT WIN32)
    # Starts and signals the program as a POSIX process; on Windows the whole program runs
    # under Wine against the simulator instead (tests/program/wine_session.sh).
    include(program/program_tests.cmake)
endif()

# The list of window test programs, for the script that runs them under Wine.
get_property(window_tests GLOBAL PROPERTY TANDREL_WINDOW_TESTS)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/window_tests.txt CONTENT "$<JOIN:${window_tests}, >\n")
