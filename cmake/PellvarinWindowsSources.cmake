# Where a layer's sources differ by platform, this is the one place that
# chooses: a Windows build compiles the WINDOWS files, every other build the
# SUBSTITUTE ones, and links the WINDOWS_LIBS or the SUBSTITUTE_LIBS
# publicly. Elsewhere than Windows the Windows files are remembered,
# and pellvarin_write_windows_check() writes, per layer, every source a
# Windows build compiles together with the layer's include directories and
# definitions, for the type check of scripts/check-windows. So the check and
# the real build never disagree on what is compiled, or how.

function(pellvarin_platform_sources target)
    cmake_parse_arguments(P "" "" "WINDOWS;SUBSTITUTE;WINDOWS_LIBS;SUBSTITUTE_LIBS" ${ARGN})
    if(WIN32)
        target_sources(${target} PRIVATE ${P_WINDOWS})
        target_link_libraries(${target} PUBLIC ${P_WINDOWS_LIBS})
    else()
        target_sources(${target} PRIVATE ${P_SUBSTITUTE})
        target_link_libraries(${target} PUBLIC ${P_SUBSTITUTE_LIBS})
        set_property(TARGET ${target} APPEND PROPERTY PELLVARIN_WINDOWS_SOURCES ${P_WINDOWS})
        set_property(TARGET ${target} APPEND PROPERTY PELLVARIN_SUBSTITUTE_SOURCES ${P_SUBSTITUTE})
    endif()
endfunction()

# One file per target in ${CMAKE_BINARY_DIR}/windows-check: "source=",
# "include=" and "define=" lines, the sources as absolute paths.
function(pellvarin_write_windows_check)
    foreach(target ${ARGN})
        get_target_property(dir ${target} SOURCE_DIR)
        get_target_property(all ${target} SOURCES)
        get_target_property(substitutes ${target} PELLVARIN_SUBSTITUTE_SOURCES)
        get_target_property(windows ${target} PELLVARIN_WINDOWS_SOURCES)
        set(lines "")
        foreach(source ${all} ${windows})
            if(NOT source MATCHES "\\.cpp$" OR (substitutes AND source IN_LIST substitutes))
                continue()
            endif()
            cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir})
            string(APPEND lines "source=${source}\n")
        endforeach()
        set(includes "$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>")
        set(defines "$<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>")
        file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows-check/${target}.txt CONTENT
"${lines}$<$<BOOL:${includes}>:include=$<JOIN:${includes},\ninclude=>\n>\
$<$<BOOL:${defines}>:define=$<JOIN:${defines},\ndefine=>\n>")
    endforeach()
endfunction()
