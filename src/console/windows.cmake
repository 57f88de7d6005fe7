# The windows (Qt Widgets), linked by the program and the window tests.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
if(WIN32)
    tandrel_check_windows_qt(Core Gui Widgets)
endif()
add_library(tandrel_console STATIC
    application.cpp
    about.cpp
    nastr.cpp
    qt_executor.cpp
    qt_text.cpp
    rows_model.cpp
    Unit1.cpp
    Unit1_job.cpp
    Unit1_keypad.cpp
    Unit1_link.cpp
    Unit1_recovery.cpp
    Unit2.cpp
    windows.cpp
    windows_common.cpp
)
set_target_properties(tandrel_console PROPERTIES AUTOMOC ON)
target_link_libraries(tandrel_console PUBLIC tandrel_core Qt6::Widgets)
target_compile_options(tandrel_console PRIVATE ${TANDREL_WARNINGS})
