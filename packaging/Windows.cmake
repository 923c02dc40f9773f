# The Windows program as it ships: one folder holding packsmith-cli.exe and, where it is
# built, the window packsmith.exe, the codec (targa.dll), the sound libraries' DLLs, the
# README and the licence texts of everything inside. CPack packs that folder into a zip, and
# into an installer where NSIS is at hand:
#   cmake --build BUILD --target package

# The sound libraries' DLLs go beside the programs in the build tree too, where the tests
# run them.
file(GLOB PACKSMITH_WINDOWS_DLLS ${PACKSMITH_WINDOWS_PREFIX}/bin/*.dll)
if(NOT PACKSMITH_WINDOWS_DLLS)
  message(FATAL_ERROR "No DLLs in ${PACKSMITH_WINDOWS_PREFIX}/bin: build them with tools/windows/sound-libs.sh")
endif()
file(COPY ${PACKSMITH_WINDOWS_DLLS} DESTINATION ${CMAKE_BINARY_DIR}/bin)

include(${CMAKE_CURRENT_LIST_DIR}/windows/Resources.cmake)
packsmith_windows_resources(packsmith-cli "Packsmith command line")
install(TARGETS packsmith-cli RUNTIME DESTINATION .)
set(PACKSMITH_WINDOWS_PROGRAMS packsmith-cli.exe)
if(TARGET packsmith)
  packsmith_windows_resources(packsmith "Packsmith" WINDOW)
  install(TARGETS packsmith RUNTIME DESTINATION .)
  list(APPEND PACKSMITH_WINDOWS_PROGRAMS packsmith.exe)
endif()
# The programs the packages must hold, for tools/windows/check-installer.sh.
list(JOIN PACKSMITH_WINDOWS_PROGRAMS "\n" programs)
file(WRITE ${CMAKE_BINARY_DIR}/packaging/programs.txt "${programs}\n")
install(TARGETS targa RUNTIME DESTINATION .)
install(FILES ${PACKSMITH_WINDOWS_DLLS} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
# What the DLLs are built from (tools/windows/sound-libs.sh gathers it), and the compiler's
# runtime libraries linked into the programs: mingw-w64's (its thread library among them)
# and GCC's.
install(DIRECTORY ${PACKSMITH_WINDOWS_PREFIX}/share/licences/ DESTINATION licences)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licences/mingw-w64)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licences/gcc)

set(CPACK_PACKAGE_NAME packsmith)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Packsmith developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unpacks and rebuilds packed game audio and image packs")
set(CPACK_SYSTEM_NAME windows-x64)
set(CPACK_PACKAGE_FILE_NAME packsmith-${PROJECT_VERSION}-windows-x64)
# The zip holds one folder; the installer installs that folder's contents (NSIS has no top
# folder of its own, and CPack warns where it is asked for one).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/WindowsGenerators.cmake)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP)
find_program(PACKSMITH_MAKENSIS makensis)
if(PACKSMITH_MAKENSIS)
  list(APPEND CPACK_GENERATOR NSIS)
  set(CPACK_NSIS_EXECUTABLE ${PACKSMITH_MAKENSIS})
  # A 64-bit installer for the 64-bit program, into the 64-bit Program Files.
  set(CPACK_NSIS_DEFINES "  Target amd64-unicode")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Packsmith)
  set(CPACK_NSIS_DISPLAY_NAME "Packsmith ${PROJECT_VERSION}")
  set(CPACK_NSIS_PACKAGE_NAME "Packsmith ${PROJECT_VERSION}")
  # One uninstall entry whatever the version, so that a newer installer finds the older
  # copy and takes it away first.
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Packsmith)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  # The command line program is at home on the PATH; the installer asks (CPack's options
  # page), and a silent install takes /ADD_TO_PATH=all|user. CPack's own PATH step looks
  # for the programs in bin\, which this folder has not: packaging/windows/Installer.nsh
  # adds and takes away the folder itself, as it does the file types of the window.
  set(CPACK_NSIS_MODIFY_PATH ON)
  # (Single quotes: CPack hands the text on without escaping double ones.)
  string(APPEND CPACK_NSIS_DEFINES "
  !define PACKSMITH_REGISTRY_KEY '${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}'
  !include '${PACKSMITH_WINDOWS_PACKAGING_DIR}/Installer.nsh'")
  set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro PacksmithPreinstall")
  set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro PacksmithInstall")
  set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!insertmacro PacksmithUninstall")
  # The Start Menu opens the window. (A line of its own rather than CPACK_PACKAGE_EXECUTABLES,
  # which would name it "$INSTDIR\.\packsmith.exe", there being no bin\ folder.)
  set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Packsmith.lnk' '$INSTDIR\\\\packsmith.exe'")
  set(CPACK_NSIS_DELETE_ICONS_EXTRA "  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Packsmith.lnk'")
  # The installer, the uninstaller and the uninstall entry wear the program's icon.
  if(TARGET packsmith)
    set(CPACK_NSIS_INSTALLED_ICON_NAME packsmith.exe)
  else()
    set(CPACK_NSIS_INSTALLED_ICON_NAME packsmith-cli.exe)
  endif()
  set(CPACK_NSIS_MUI_ICON ${PACKSMITH_ICON})
  set(CPACK_NSIS_MUI_UNIICON ${PACKSMITH_ICON})
endif()
include(CPack)
