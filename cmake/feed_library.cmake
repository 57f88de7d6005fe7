# The MQTT client library of the plant feed: libmosquitto. Linux: Debian's package, found by
# pkg-config and required. Windows: built static for MinGW from Debian's source package by
# scripts/windows_libs.sh (TLS through OpenSSL built there, no threads of its own: the feed
# drives it from its thread).
add_library(tandrel_feed_library INTERFACE)
if(WIN32)
    if(NOT EXISTS "${TANDREL_WINDOWS_LIBS}/lib/libmosquitto_static.a")
        message(FATAL_ERROR "No libmosquitto for Windows in '${TANDREL_WINDOWS_LIBS}': "
                            "run scripts/windows_libs.sh and name its prefix in TANDREL_WINDOWS_LIBS")
    endif()
    target_include_directories(tandrel_feed_library SYSTEM INTERFACE ${TANDREL_WINDOWS_LIBS}/include)
    target_link_libraries(tandrel_feed_library INTERFACE
                          ${TANDREL_WINDOWS_LIBS}/lib/libmosquitto_static.a
                          ${TANDREL_WINDOWS_LIBS}/lib/libssl.a
                          ${TANDREL_WINDOWS_LIBS}/lib/libcrypto.a ws2_32 gdi32 crypt32)
    target_compile_definitions(tandrel_feed_library INTERFACE LIBMOSQUITTO_STATIC)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(TANDREL_MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
    target_link_libraries(tandrel_feed_library INTERFACE PkgConfig::TANDREL_MOSQUITTO)
endif()
