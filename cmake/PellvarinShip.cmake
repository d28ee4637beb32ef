# What ships to the viewer's developers, in one place: the engine library,
# the headers each layer marks as the viewer's (PELLVARIN_PUBLIC_HEADERS),
# and the CMake package that finds them (find_package(Pellvarin), linked as
# Pellvarin::engine). `cmake --install` lays it out; scripts/build-windows
# zips it as the SDK, with the program's folder and the installer's files.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS pellvarin_engine EXPORT PellvarinTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(layer pellvarin_catalogue pellvarin_engine)
    get_target_property(headers ${layer} PELLVARIN_PUBLIC_HEADERS)
    install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pellvarin)
endforeach()

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Pellvarin)
install(EXPORT PellvarinTargets NAMESPACE Pellvarin:: DESTINATION ${package_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/PellvarinConfig.cmake.in
    ${PROJECT_BINARY_DIR}/PellvarinConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/PellvarinConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/PellvarinConfig.cmake
    ${PROJECT_BINARY_DIR}/PellvarinConfigVersion.cmake DESTINATION ${package_dir})
