tandrel_window_test(main_window_tests console/main_window_test.cpp)
tandrel_window_test(screens_tests console/screens_test.cpp)
tandrel_window_test(settings_window_tests console/settings_window_test.cpp)
# These start the device simulator, a Linux program, which a Windows build cannot start; under
# Wine the packaged program's own sessions against the simulator stand for them.
if(TARGET tandrel-sim)
    tandrel_window_test(link_window_tests console/link_window_test.cpp)
    target_compile_definitions(link_window_tests PRIVATE TANDREL_SIM="$<TARGET_FILE:tandrel-sim>")
    add_dependencies(link_window_tests tandrel-sim)
    tandrel_window_test(operator_window_tests console/operator_window_test.cpp)
    target_compile_definitions(operator_window_tests PRIVATE TANDREL_SIM="$<TARGET_FILE:tandrel-sim>")
    add_dependencies(operator_window_tests tandrel-sim)
    tandrel_window_test(locale_window_tests console/locale_window_test.cpp)
    target_compile_definitions(locale_window_tests PRIVATE TANDREL_SIM="$<TARGET_FILE:tandrel-sim>")
    add_dependencies(locale_window_tests tandrel-sim)
    tandrel_window_test(plan_window_tests console/plan_window_test.cpp)
    target_compile_definitions(plan_window_tests PRIVATE TANDREL_SIM="$<TARGET_FILE:tandrel-sim>")
    add_dependencies(plan_window_tests tandrel-sim)
endif()
tandrel_window_test(keypad_window_tests console/keypad_window_test.cpp)
if(WIN32)
    # Device-change messages reach the main window only on Windows.
    tandrel_window_test(device_change_window_tests console/device_change_window_test.cpp)
endif()
tandrel_window_test(job_window_tests console/job_window_test.cpp)
target_compile_definitions(job_window_tests PRIVATE
    TANDREL_JOB_FIXTURES="${CMAKE_CURRENT_SOURCE_DIR}/fixtures/job")
tandrel_window_test(lists_window_tests console/lists_window_test.cpp)
tandrel_window_test(raskroy_window_tests console/raskroy_window_test.cpp)
# Window tests on a virtual X server under a window manager, which run_under_wm.sh starts;
# skipped (77) where the server, the manager or a tool named after the source is missing. X11 is
# what they test, so the Windows build has no use for them.
function(tandrel_wm_test name source)
    add_executable(${name} ${source})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE tandrel_console Qt6::Test)
    target_compile_options(${name} PRIVATE ${TANDREL_WARNINGS})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE TANDREL_SCREENS_DIR="${TANDREL_SCREENS_DIR}")
    add_test(NAME ${name}
        COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/console/run_under_wm.sh $<TARGET_FILE:${name}>)
    string(JOIN " " tools ${ARGN})
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 300
        ENVIRONMENT "${TANDREL_GUI_ENVIRONMENT};TANDREL_X_TOOLS=${tools}")
endfunction()
if(NOT WIN32)
    # The information window under a real window manager.
    tandrel_wm_test(info_window_wm_tests console/info_window_wm_test.cpp)
    # Keys through the X server at a scanner's and a hand's pace, in either keyboard layout.
    tandrel_wm_test(scan_keys_x11_tests console/scan_keys_x11_test.cpp xdotool setxkbmap)
endif()
tandrel_window_test(label_render_tests console/label_render_test.cpp)
tandrel_window_test(label_preview_tests console/label_preview_test.cpp)
if(NOT WIN32)
    # The printer's bytes are read on the far end of a pseudo-terminal.
    tandrel_window_test(label_window_tests console/label_window_test.cpp)
    target_link_libraries(label_window_tests PRIVATE util)
    if(TARGET tandrel-sim)
        target_compile_definitions(label_window_tests PRIVATE TANDREL_SIM="$<TARGET_FILE:tandrel-sim>")
        add_dependencies(label_window_tests tandrel-sim)
    endif()
endif()
if(NOT WIN32)
    # The remnant label's bytes are read on the far end of a pseudo-terminal.
    tandrel_window_test(remnants_window_tests console/remnants_window_test.cpp)
    target_link_libraries(remnants_window_tests PRIVATE util)
endif()
