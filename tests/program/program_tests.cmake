# The program as a process: started offscreen, closed by a signal.
add_executable(program_tests program/program_test.cpp)
target_link_libraries(program_tests PRIVATE tandrel_core GTest::gtest_main)
target_compile_options(program_tests PRIVATE ${TANDREL_WARNINGS})
target_compile_definitions(program_tests PRIVATE TANDREL_EXE="$<TARGET_FILE:Tandrel>")
add_dependencies(program_tests Tandrel)
gtest_discover_tests(program_tests DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "${TANDREL_GUI_ENVIRONMENT}")
