# The resources of the Windows programs: what Windows shows and asks of a program, namely
# version information, the icon and a manifest (program.rc.in, program.manifest.in beside
# this file). The icon is made from the PNG renderings packaging/icons keeps, so that
# nothing generated is kept twice. Included by packaging/Windows.cmake.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(PACKSMITH_WINDOWS_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(PACKSMITH_ICON ${CMAKE_BINARY_DIR}/packaging/packsmith.ico)
file(GLOB PACKSMITH_ICON_PNGS ${PROJECT_SOURCE_DIR}/packaging/icons/packsmith-*.png)
add_custom_command(
  OUTPUT ${PACKSMITH_ICON}
  COMMAND Python3::Interpreter ${PACKSMITH_WINDOWS_PACKAGING_DIR}/make_icon.py ${PACKSMITH_ICON} ${PACKSMITH_ICON_PNGS}
  DEPENDS ${PACKSMITH_WINDOWS_PACKAGING_DIR}/make_icon.py ${PACKSMITH_ICON_PNGS}
  COMMENT "Making the programs' icon"
  VERBATIM)
add_custom_target(packsmith-icon DEPENDS ${PACKSMITH_ICON})

# packsmith_windows_resources(TARGET DESCRIPTION [WINDOW]): the resources of one program.
# DESCRIPTION is what Explorer and the Task Manager name it by; WINDOW asks for the common
# controls of today's Windows (version 6), which only a program with windows draws with.
function(packsmith_windows_resources target description)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "WINDOW" "" "")
  set(PACKSMITH_RC_TARGET ${target})
  set(PACKSMITH_RC_FILE_NAME ${target}.exe)
  set(PACKSMITH_RC_DESCRIPTION "${description}")
  set(PACKSMITH_RC_ICON ${PACKSMITH_ICON})
  set(version ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} 0)
  list(JOIN version "," PACKSMITH_RC_VERSION_COMMAS)
  list(JOIN version "." PACKSMITH_RC_VERSION_DOTS)
  set(PACKSMITH_RC_MANIFEST_DEPENDENCIES "")
  if(ARG_WINDOW)
    string(CONCAT PACKSMITH_RC_MANIFEST_DEPENDENCIES
      "  <dependency>\n"
      "    <dependentAssembly>\n"
      "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"\n"
      "                        processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>\n"
      "    </dependentAssembly>\n"
      "  </dependency>")
  endif()
  set(dir ${CMAKE_BINARY_DIR}/packaging/${target})
  set(PACKSMITH_RC_MANIFEST ${dir}/${target}.manifest)
  configure_file(${PACKSMITH_WINDOWS_PACKAGING_DIR}/program.manifest.in ${PACKSMITH_RC_MANIFEST} @ONLY)
  configure_file(${PACKSMITH_WINDOWS_PACKAGING_DIR}/program.rc.in ${dir}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${target}.rc)
  # windres reports no dependencies of its own: a new icon or manifest must still rebuild it.
  set_source_files_properties(${dir}/${target}.rc TARGET_DIRECTORY ${target}
    PROPERTIES OBJECT_DEPENDS "${PACKSMITH_ICON};${PACKSMITH_RC_MANIFEST}")
  add_dependencies(${target} packsmith-icon)
endfunction()
