# What the window needs beside packsmith.exe on Windows: Qt's DLLs, the plugins Qt loads at
# run time (the windows platform, the Windows style, the sound backend) and the compiler's
# runtime DLLs, which Qt's DLLs link to. They are copied beside the programs in the build
# tree, where the tests run them, and installed into the zip and the installer. A qt.conf
# points Qt at the plugins beside it, and at nothing of the machine the program was built on.
#
# The offscreen platform, which the window's tests run on, is copied into the build tree
# only; the test library Qt6Test.dll likewise.

set(PACKSMITH_QT_DLLS Core Gui Widgets Network Multimedia)
set(PACKSMITH_QT_PLUGINS platforms/qwindows styles/qwindowsvistastyle multimedia/windowsmediaplugin)
set(PACKSMITH_QT_TEST_ONLY bin/Qt6Test.dll plugins/platforms/qoffscreen.dll)
set(PACKSMITH_COMPILER_DLLS libstdc++-6.dll libgcc_s_seh-1.dll)
set(PACKSMITH_THREAD_DLLS libwinpthread-1.dll)

set(qt ${PACKSMITH_WINDOWS_QT})
set(files)
foreach(name IN LISTS PACKSMITH_QT_DLLS)
  list(APPEND files bin/Qt6${name}.dll)
endforeach()
foreach(plugin IN LISTS PACKSMITH_QT_PLUGINS)
  list(APPEND files plugins/${plugin}.dll)
endforeach()
foreach(file IN LISTS files PACKSMITH_QT_TEST_ONLY)
  if(NOT EXISTS ${qt}/${file})
    message(FATAL_ERROR "${qt}/${file} is missing: build Qt for Windows with tools/windows/qt.sh")
  endif()
endforeach()

# The compiler's runtime DLLs, where mingw-w64 keeps them.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(compiler_dlls ${stdcxx} DIRECTORY)
set(runtime)
foreach(dll IN LISTS PACKSMITH_COMPILER_DLLS)
  list(APPEND runtime ${compiler_dlls}/${dll})
endforeach()
foreach(dll IN LISTS PACKSMITH_THREAD_DLLS)
  list(APPEND runtime /usr/x86_64-w64-mingw32/lib/${dll})
endforeach()

set(qt_conf ${CMAKE_BINARY_DIR}/bin/qt.conf)
file(WRITE ${qt_conf} "[Paths]\nPrefix = .\nPlugins = plugins\n")

# Qt's bin/ goes beside the programs, its plugins/ into plugins/ there.
function(packsmith_qt_folder file out)
  get_filename_component(folder ${file} DIRECTORY)
  if(folder STREQUAL "bin")
    set(folder .)
  endif()
  set(${out} ${folder} PARENT_SCOPE)
endfunction()
foreach(file IN LISTS files PACKSMITH_QT_TEST_ONLY)
  packsmith_qt_folder(${file} folder)
  file(COPY ${qt}/${file} DESTINATION ${CMAKE_BINARY_DIR}/bin/${folder})
endforeach()
# mingw's runtime DLLs come with their debugging symbols (libstdc++ 24 MB of them): the copies
# beside the programs are stripped, and those are what ships.
set(stripped_runtime)
foreach(dll IN LISTS runtime)
  get_filename_component(name ${dll} NAME)
  set(copy ${CMAKE_BINARY_DIR}/bin/${name})
  if(NOT EXISTS ${copy} OR ${dll} IS_NEWER_THAN ${copy})
    execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${copy} ${dll} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  list(APPEND stripped_runtime ${copy})
endforeach()
foreach(file IN LISTS files)
  packsmith_qt_folder(${file} folder)
  install(FILES ${qt}/${file} DESTINATION ${folder})
endforeach()
install(FILES ${stripped_runtime} ${qt_conf} DESTINATION .)
install(DIRECTORY ${qt}/share/licences/ DESTINATION licences)
