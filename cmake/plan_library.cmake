# The solver library of the bar plan: CLP with CoinUtils (COIN-OR, EPL). Linux: Debian's
# packages, found by pkg-config. Windows: built static for MinGW from Debian's source packages
# by scripts/windows_coin.sh (without LAPACK, BLAS, bzip2 and zlib), its prefix in
# TANDREL_WINDOWS_COIN.
add_library(tandrel_plan_library INTERFACE)
if(WIN32)
    set(TANDREL_WINDOWS_COIN "$ENV{TANDREL_WINDOWS_COIN}" CACHE PATH
        "CLP and CoinUtils for MinGW, as scripts/windows_coin.sh prints")
    if(NOT EXISTS "${TANDREL_WINDOWS_COIN}/lib/libClp.a" OR
       NOT EXISTS "${TANDREL_WINDOWS_COIN}/lib/libCoinUtils.a")
        message(FATAL_ERROR "No CLP and CoinUtils for Windows in '${TANDREL_WINDOWS_COIN}': "
                            "run scripts/windows_coin.sh and name its prefix in TANDREL_WINDOWS_COIN")
    endif()
    target_include_directories(tandrel_plan_library SYSTEM INTERFACE
                               ${TANDREL_WINDOWS_COIN}/include/coin)
    target_link_libraries(tandrel_plan_library INTERFACE ${TANDREL_WINDOWS_COIN}/lib/libClp.a
                          ${TANDREL_WINDOWS_COIN}/lib/libCoinUtils.a)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(TANDREL_CLP REQUIRED IMPORTED_TARGET clp)
    target_link_libraries(tandrel_plan_library INTERFACE PkgConfig::TANDREL_CLP)
endif()
