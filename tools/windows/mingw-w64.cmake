# CMake toolchain: Windows x86-64 programs built here with Debian's mingw-w64 (GCC, posix
# threads). The libraries the tool needs are looked for in PACKSMITH_WINDOWS_PREFIX, where
# tools/windows/sound-libs.sh puts them, in PACKSMITH_WINDOWS_QT, where tools/windows/qt.sh
# puts Qt, and in mingw's own sysroot. Qt's tools that run during the build (moc, rcc, uic)
# are the machine's own Qt's, of the same version.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(PACKSMITH_WINDOWS_PREFIX "$ENV{PACKSMITH_WINDOWS_PREFIX}" CACHE PATH "Where the Windows builds of the sound libraries are")
set(PACKSMITH_WINDOWS_QT "$ENV{PACKSMITH_WINDOWS_QT}" CACHE PATH "Where the Windows build of Qt is")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${PACKSMITH_WINDOWS_PREFIX} ${PACKSMITH_WINDOWS_QT})
set(CMAKE_PREFIX_PATH ${PACKSMITH_WINDOWS_PREFIX} ${PACKSMITH_WINDOWS_QT})
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
