# The Windows program and its tests against the Qt of scripts/qt_windows.sh: chain-loaded by
# that Qt's own toolchain file (see the "windows" preset). Qt's DLLs need the MinGW runtime as
# DLLs, so the program links it shared too: one runtime in the process, shipped beside it.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
