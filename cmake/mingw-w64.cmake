# Cross-compiles for 64-bit Windows with Debian's mingw-w64, against the prefix
# that scripts/build-windows-toolchain fills with Qt 5.15 and FreeImage:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DPELLVARIN_WINDOWS_PREFIX=DIR
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX-threads compilers: the toolchain's libraries were built with them,
# and their runtime is what gets shipped.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT PELLVARIN_WINDOWS_PREFIX)
    set(PELLVARIN_WINDOWS_PREFIX "$ENV{PELLVARIN_WINDOWS_PREFIX}")
endif()
if(NOT IS_DIRECTORY "${PELLVARIN_WINDOWS_PREFIX}/lib/cmake/Qt5")
    message(FATAL_ERROR "PELLVARIN_WINDOWS_PREFIX must name the prefix that "
        "scripts/build-windows-toolchain built (it has no Qt 5: '${PELLVARIN_WINDOWS_PREFIX}')")
endif()
# try_compile projects read this file again and need the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PELLVARIN_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH "${PELLVARIN_WINDOWS_PREFIX}" /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
