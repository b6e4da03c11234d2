# Cross-compiles the Windows executables with mingw-w64 (64-bit, posix threads).
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Links everything statically (no libstdc++/libgcc/winpthread DLLs to ship); the
# Direct3D 9 and D3DX 9 import libraries come with mingw-w64. The programs import
# only d3d9.dll and the libraries every Windows has; they load d3dx9_43.dll
# themselves where it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Header-only libraries installed for the host (Debian's libfast-float-dev) are
# plain C++ and serve the target too. Only their own folders are exposed, through
# links in the build tree, never /usr/include as a whole.
set(ARTIC_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
foreach(dir fast_float)
  if(EXISTS /usr/include/${dir} AND NOT EXISTS ${ARTIC_HOST_HEADERS}/${dir})
    file(MAKE_DIRECTORY ${ARTIC_HOST_HEADERS})
    file(CREATE_LINK /usr/include/${dir} ${ARTIC_HOST_HEADERS}/${dir} SYMBOLIC)
  endif()
endforeach()
set(CMAKE_CXX_FLAGS_INIT "-isystem ${ARTIC_HOST_HEADERS}")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Appended to every executable's link line, after its own libraries: the Win32
# libraries CMake links by default on this platform (the linker keeps an import
# only where something is used from it).
set(CMAKE_CXX_STANDARD_LIBRARIES
    "-lkernel32 -luser32 -lgdi32 -lwinspool -lshell32 -lole32 -loleaut32 -luuid -lcomdlg32 -ladvapi32")
