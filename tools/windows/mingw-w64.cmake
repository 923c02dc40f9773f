# CMake toolchain: Windows x86-64 programs built here with Debian's mingw-w64 (GCC, posix
# threads). The libraries the tool needs are looked for in PACKSMITH_WINDOWS_PREFIX, where
# tools/windows/sound-libs.sh puts them, and in mingw's own sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(PACKSMITH_WINDOWS_PREFIX "$ENV{PACKSMITH_WINDOWS_PREFIX}" CACHE PATH "Where the Windows builds of the sound libraries are")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${PACKSMITH_WINDOWS_PREFIX})
set(CMAKE_PREFIX_PATH ${PACKSMITH_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
