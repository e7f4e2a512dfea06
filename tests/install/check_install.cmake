# cmake -DBUILD_DIR=... -DWORK_DIR=... -DVERSION=... -P check_install.cmake
string(RANDOM LENGTH 8 tag)
set(prefix ${WORK_DIR}/prefix-${tag})

function(fail message)
  file(REMOVE_RECURSE ${prefix})
  message(FATAL_ERROR "${message}")
endfunction()

function(expect_contains file text)
  file(READ ${file} content)
  string(FIND "${content}" "${text}" at)
  if(at EQUAL -1)
    fail("${file} does not hold \"${text}\"")
  endif()
endfunction()

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  fail("cmake --install failed: ${error}")
endif()

foreach(file bin/zepra bin/zepra-cli share/applications/zepra.desktop share/man/man1/zepra-cli.1
             share/icons/hicolor/16x16/apps/zepra.png share/icons/hicolor/32x32/apps/zepra.png
             share/icons/hicolor/256x256/apps/zepra.png)
  if(NOT EXISTS ${prefix}/${file})
    fail("${file} was not installed")
  endif()
endforeach()

# The desktop entry starts the dialog with the chosen videos and names the icon.
set(entry ${prefix}/share/applications/zepra.desktop)
expect_contains(${entry} "Exec=zepra %F")
expect_contains(${entry} "Icon=zepra")
expect_contains(${entry} "MimeType=video/x-msvideo;")
# The manual page carries the version and documents every option.
set(page ${prefix}/share/man/man1/zepra-cli.1)
expect_contains(${page} "ZEPRA ${VERSION}")
foreach(option output preset title bitrate trim trim\\-margins size framerate filter gamma names fit two\\-pass estimate json yes no\\-clobber quiet)
  expect_contains(${page} "\\-\\-${option}")
endforeach()
# The installed program runs from its new place.
execute_process(COMMAND ${prefix}/bin/zepra-cli --version OUTPUT_VARIABLE version RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT version STREQUAL "zepra-cli ${VERSION}\n")
  fail("the installed zepra-cli --version said \"${version}\" (${result})")
endif()

file(REMOVE_RECURSE ${prefix})
