# The libraries the spreadsheet lists need: minizip (with zlib) for the XLSX container and expat
# for its XML. Linux: Debian's packages, found by pkg-config. Windows: built static for MinGW from
# Debian's source packages by scripts/windows_libs.sh, zlib from libz-mingw-w64-dev.
add_library(tandrel_list_libraries INTERFACE)
if(WIN32)
    set(TANDREL_WINDOWS_LIBS "$ENV{TANDREL_WINDOWS_LIBS}" CACHE PATH
        "minizip and expat for MinGW, as scripts/windows_libs.sh prints")
    if(NOT EXISTS "${TANDREL_WINDOWS_LIBS}/lib/libminizip.a" OR
       NOT EXISTS "${TANDREL_WINDOWS_LIBS}/lib/libexpat.a")
        message(FATAL_ERROR "No minizip and expat for Windows in '${TANDREL_WINDOWS_LIBS}': "
                            "run scripts/windows_libs.sh and name its prefix in TANDREL_WINDOWS_LIBS")
    endif()
    find_library(TANDREL_MINGW_ZLIB NAMES libz.a REQUIRED)
    target_include_directories(tandrel_list_libraries SYSTEM INTERFACE
                               ${TANDREL_WINDOWS_LIBS}/include)
    target_link_libraries(tandrel_list_libraries INTERFACE
                          ${TANDREL_WINDOWS_LIBS}/lib/libminizip.a
                          ${TANDREL_WINDOWS_LIBS}/lib/libexpat.a ${TANDREL_MINGW_ZLIB})
    target_compile_definitions(tandrel_list_libraries INTERFACE XML_STATIC)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(TANDREL_MINIZIP REQUIRED IMPORTED_TARGET minizip)
    pkg_check_modules(TANDREL_EXPAT REQUIRED IMPORTED_TARGET expat)
    target_link_libraries(tandrel_list_libraries INTERFACE PkgConfig::TANDREL_MINIZIP
                          PkgConfig::TANDREL_EXPAT)
endif()
