# What Windows tells of a program or DLL it did not make: the version
# resource that Explorer's Details tab, crash reports and installers read,
# and for a program the manifest that says which Windows it was made for.
# The names are the project's (CMakeLists.txt), which the code has from
# identity.h, and the version is the project's; nothing is built but on
# Windows.
set(PELLVARIN_COPYRIGHT "Copyright (C) 2026 ${PELLVARIN_PRODUCT_WORD}")

# pellvarin_add_version_resource(TARGET DESCRIPTION [MANIFEST FILE])
function(pellvarin_add_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    cmake_parse_arguments(V "" "MANIFEST" "" ${ARGN})
    get_target_property(type ${target} TYPE)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    set(V_DESCRIPTION "${description}")
    set(V_INTERNAL "${name}")
    if(type STREQUAL "EXECUTABLE")
        set(V_FILETYPE VFT_APP)
        set(V_ORIGINAL "${name}${CMAKE_EXECUTABLE_SUFFIX}")
    else()
        set(V_FILETYPE VFT_DLL)
        set(V_ORIGINAL "${CMAKE_SHARED_LIBRARY_PREFIX}${name}${CMAKE_SHARED_LIBRARY_SUFFIX}")
    endif()
    set(patch "${PROJECT_VERSION_PATCH}")
    if("${patch}" STREQUAL "")
        set(patch 0)
    endif()
    set(V_NUMBERS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${patch},0")
    set(V_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${patch}.0")
    set(V_MANIFEST_LINE "")
    if(V_MANIFEST)
        # 1 is the program's own manifest, 24 the manifest resource type.
        set(V_MANIFEST_LINE "1 24 \"${V_MANIFEST}\"")
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/resources/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
