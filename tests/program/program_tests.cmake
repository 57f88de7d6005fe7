# The program as a process: started offscreen, closed by a signal.
add_executable(program_tests program/program_test.cpp)
target_link_libraries(program_tests PRIVATE tandrel_core GTest::gtest_main)
target_compile_options(program_tests PRIVATE ${TANDREL_WARNINGS})
target_compile_definitions(program_tests PRIVATE TANDREL_EXE="$<TARGET_FILE:Tandrel>")
add_dependencies(program_tests Tandrel)
gtest_discover_tests(program_tests DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "${TANDREL_GUI_ENVIRONMENT}")

# The plant feed: two copies of the program, each on a simulator, and a real mosquitto.
if(TARGET tandrel-sim)
    add_executable(feed_program_tests program/feed_program_test.cpp)
    target_link_libraries(feed_program_tests PRIVATE tandrel_core GTest::gtest_main)
    target_compile_options(feed_program_tests PRIVATE ${TANDREL_WARNINGS})
    target_include_directories(feed_program_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(feed_program_tests PRIVATE TANDREL_EXE="$<TARGET_FILE:Tandrel>"
                               TANDREL_SIM="$<TARGET_FILE:tandrel-sim>")
    add_dependencies(feed_program_tests Tandrel tandrel-sim)
    gtest_discover_tests(feed_program_tests DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 180 ENVIRONMENT "${TANDREL_GUI_ENVIRONMENT}")
endif()
