# Read by CPack once for each generator of the Windows packages (packaging/Windows.cmake).
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
