# Finds Qt and sets the project up the way Qt 6's qt_standard_project_setup
# does. Qt 6 is the default; PELLVARIN_QT5 builds against Qt 5.15 instead,
# because Qt 6 does not run on Windows 7 or 8.1, where the tool's service
# path matters most. Targets name Qt${QT_VERSION_MAJOR}:: so that whatever
# links the engine, the installed package included, gets the same Qt.
option(PELLVARIN_QT5 "Build against Qt 5.15, which runs on Windows 7 and 8.1, instead of Qt 6" OFF)

# QT_DIR is cached and would keep a build directory on the Qt it found
# first; a change of PELLVARIN_QT5 searches afresh.
if(DEFINED PELLVARIN_QT5_FOUND_WITH AND NOT PELLVARIN_QT5_FOUND_WITH STREQUAL PELLVARIN_QT5)
    unset(QT_DIR CACHE)
endif()
set(PELLVARIN_QT5_FOUND_WITH "${PELLVARIN_QT5}" CACHE INTERNAL "")

if(PELLVARIN_QT5)
    set(pellvarin_qt_names Qt5)
else()
    set(pellvarin_qt_names Qt6 Qt5)
endif()
find_package(QT NAMES ${pellvarin_qt_names} REQUIRED COMPONENTS Core)
if(QT_VERSION VERSION_LESS 5.15)
    message(FATAL_ERROR "Pellvarin needs Qt 5.15 or later, found ${QT_VERSION}")
endif()
find_package(Qt${QT_VERSION_MAJOR} REQUIRED COMPONENTS Core Gui Widgets Test)

if(COMMAND qt_standard_project_setup)
    qt_standard_project_setup()
else()
    # What Qt 6.4's qt_standard_project_setup does, for Qt 5.
    include(GNUInstallDirs)
    if(WIN32)
        if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
            set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
        endif()
    elseif(NOT APPLE)
        file(RELATIVE_PATH pellvarin_libdir_from_bindir
            ${CMAKE_CURRENT_BINARY_DIR}/${CMAKE_INSTALL_BINDIR}
            ${CMAKE_CURRENT_BINARY_DIR}/${CMAKE_INSTALL_LIBDIR})
        list(APPEND CMAKE_INSTALL_RPATH $ORIGIN $ORIGIN/${pellvarin_libdir_from_bindir})
        list(REMOVE_DUPLICATES CMAKE_INSTALL_RPATH)
    endif()
    foreach(auto_set IN ITEMS MOC UIC)
        if(NOT DEFINED CMAKE_AUTO${auto_set})
            set(CMAKE_AUTO${auto_set} TRUE)
        endif()
    endforeach()
endif()

# pellvarin_add_executable(NAME [WIN32] SOURCES...): qt_add_executable where
# there is one (Qt 6), which finalises the target for Qt; add_executable on
# Qt 5, whose Core target links WinMain into WIN32 executables itself.
function(pellvarin_add_executable name)
    if(COMMAND qt_add_executable)
        qt_add_executable(${name} ${ARGN})
    else()
        add_executable(${name} ${ARGN})
        target_link_libraries(${name} PRIVATE Qt5::Core)
    endif()
endfunction()
