# tandrel_check_windows_qt(component...): fails the configure unless every Qt component found
# comes from the Windows Qt prefix TANDREL_QT_WINDOWS. A Linux Qt on the host would link or
# compile against the wrong headers and libraries without a word otherwise.
function(tandrel_check_windows_qt)
    if(NOT TANDREL_QT_WINDOWS)
        message(FATAL_ERROR "TANDREL_QT_WINDOWS is not set: run scripts/qt_windows.sh and "
                            "configure with the windows preset")
    endif()
    file(REAL_PATH "${TANDREL_QT_WINDOWS}" prefix)
    foreach(component IN LISTS ARGN)
        set(target Qt6::${component})
        if(NOT TARGET ${target})
            message(FATAL_ERROR "${target} was not found in ${prefix}")
        endif()
        set(paths "${Qt6${component}_DIR}")
        foreach(property IMPORTED_IMPLIB_RELEASE IMPORTED_LOCATION_RELEASE IMPORTED_IMPLIB
                         IMPORTED_LOCATION)
            get_target_property(path ${target} ${property})
            if(path)
                list(APPEND paths "${path}")
            endif()
        endforeach()
        get_target_property(includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
        foreach(include IN LISTS includes)
            # Generator expressions name the prefix's include folder only when installing.
            if(NOT include MATCHES "^\\$<")
                list(APPEND paths "${include}")
            endif()
        endforeach()
        foreach(path IN LISTS paths)
            file(REAL_PATH "${path}" real)
            cmake_path(IS_PREFIX prefix "${real}" NORMALIZE inside)
            if(NOT inside)
                message(FATAL_ERROR "${target} comes from ${real}, outside the Windows Qt "
                                    "${prefix}")
            endif()
        endforeach()
    endforeach()
endfunction()
