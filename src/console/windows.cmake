# The windows (Qt Widgets), linked by the program and the window tests.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
if(WIN32)
    tandrel_check_windows_qt(Core Gui Widgets)
endif()

# The label picture needs Qt Gui only, so that the simulator can draw its labels too.
add_library(tandrel_label_render STATIC label_render.cpp)
target_link_libraries(tandrel_label_render PUBLIC tandrel_core Qt6::Gui)
target_compile_options(tandrel_label_render PRIVATE ${TANDREL_WARNINGS})

add_library(tandrel_console STATIC
    application.cpp
    about.cpp
    broker_dialog.cpp
    column_map_dialog.cpp
    elided_label.cpp
    incoming_poller.cpp
    label_preview.cpp
    lists_model.cpp
    lists_screen.cpp
    nastr.cpp
    nastr_feed.cpp
    qt_executor.cpp
    qt_text.cpp
    raskroy.cpp
    remnants_screen.cpp
    rows_model.cpp
    scan_gate.cpp
    session_end.cpp
    Unit1.cpp
    Unit1_feed.cpp
    Unit1_job.cpp
    Unit1_labels.cpp
    Unit1_journal.cpp
    Unit1_keypad.cpp
    Unit1_lists.cpp
    Unit1_loads.cpp
    Unit1_plan.cpp
    Unit1_link.cpp
    Unit1_preview.cpp
    Unit1_raskroy.cpp
    Unit1_operator.cpp
    Unit1_recovery.cpp
    Unit1_remnants.cpp
    Unit2.cpp
    windows.cpp
    windows_common.cpp
)
set_target_properties(tandrel_console PROPERTIES AUTOMOC ON)
target_link_libraries(tandrel_console PUBLIC tandrel_core tandrel_label_render Qt6::Widgets)
target_compile_options(tandrel_console PRIVATE ${TANDREL_WARNINGS})
