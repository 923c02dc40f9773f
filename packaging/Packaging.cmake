# Installs the programs with what a desktop expects around them (desktop entry, icons, file
# types, man pages, completion) and describes the Debian package CPack builds from that:
#   cmake --build BUILD --target package
# The codec library goes to CMAKE_INSTALL_LIBDIR/packsmith (targa/CMakeLists.txt), the place
# PACKSMITH_PRIVATE_LIBRARY_DIR points the programs to.

set(PACKSMITH_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# Man pages carry the project's version and are installed compressed, as Debian wants them.
find_program(PACKSMITH_GZIP gzip REQUIRED)
set(PACKSMITH_MAN_PAGES packsmith-cli)
if(PACKSMITH_HAVE_QT)
  list(APPEND PACKSMITH_MAN_PAGES packsmith)
endif()
set(PACKSMITH_MAN_OUTPUTS)
foreach(page IN LISTS PACKSMITH_MAN_PAGES)
  configure_file(${PACKSMITH_PACKAGING_DIR}/${page}.1.in ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  # -n leaves the name and time out of the archive, so a rebuild gives the same bytes.
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    COMMAND ${PACKSMITH_GZIP} -9nf -k ${CMAKE_BINARY_DIR}/man/${page}.1
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1
    COMMENT "Compressing the man page ${page}.1"
    VERBATIM)
  list(APPEND PACKSMITH_MAN_OUTPUTS ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(packsmith-man ALL DEPENDS ${PACKSMITH_MAN_OUTPUTS})

install(FILES ${PACKSMITH_PACKAGING_DIR}/packsmith-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME packsmith-cli)

if(PACKSMITH_HAVE_QT)
  install(FILES ${PACKSMITH_PACKAGING_DIR}/packsmith.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PACKSMITH_PACKAGING_DIR}/packsmith.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES ${PACKSMITH_PACKAGING_DIR}/packsmith.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The PNGs are rendered once from packsmith.svg and kept in the tree, so that building
  # the package needs no image tools and gives the same icons everywhere.
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PACKSMITH_PACKAGING_DIR}/icons/packsmith-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME packsmith.png)
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME packsmith)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Packsmith developers")
set(CPACK_PACKAGE_CONTACT "Packsmith developers <packsmith@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unpacks and rebuilds packed game audio and image packs")
set(CPACK_PACKAGE_DESCRIPTION
  "Packsmith is a tool for game modders. It extracts packed audio (.wac, .was) into WAV\n\
files and image packs (.at3) into TGA pictures, and rebuilds packs and packed sound from\n\
the edited files by replaying the result log of the extraction. It also packs any sound\n\
file into packed audio.\n\
.\n\
The package holds the window (packsmith), the command line twin (packsmith-cli), file\n\
types so that file managers show the packed formats and open them in Packsmith, man pages\n\
and bash completion.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps. It cannot see what is loaded at run time:
# the codec library travels in the package, but Qt's platform plugins, without which the
# window cannot open, are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(PACKSMITH_HAVE_QT)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
# The file types, desktop entry and icons are picked up by the triggers of these packages;
# the programs work without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_STRIP_FILES ON)
include(CPack)
