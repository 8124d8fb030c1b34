# Installs the build into a scratch prefix and starts the installed game through its
# bin/ link for a few seconds: it must find its drag icon in lib/pintu/ without a warning, and
# the decoding process beside it must answer. The menu entry must be what the desktop offers
# for every MIME type it lists, once update-desktop-database has read it.
# cmake -DBUILD_DIR=... -DPREFIX=... -P check-install.cmake (QT_QPA_PLATFORM set by the caller)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

foreach(file lib/pintu/pintu lib/pintu/pintu-decode lib/pintu/drag1pg.ico
             share/applications/pintu.desktop
             share/icons/hicolor/scalable/apps/pintu.svg share/man/man6/pintu.6.gz)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
foreach(size 16 32 48 64 128 256)
  if(NOT EXISTS ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/pintu.png)
    message(FATAL_ERROR "no ${size}x${size} icon installed")
  endif()
endforeach()
file(READ_SYMLINK ${PREFIX}/bin/pintu target)
if(NOT target STREQUAL "../lib/pintu/pintu")
  message(FATAL_ERROR "bin/pintu is not a link to ../lib/pintu/pintu: '${target}'")
endif()

execute_process(COMMAND ${PREFIX}/bin/pintu TIMEOUT 3
                RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_QUIET)
message(STATUS "bin/pintu: ${result}\n${errors}")
if(NOT result MATCHES "timeout")
  message(FATAL_ERROR "the installed game did not keep running: ${result}")
endif()
if(errors MATCHES "drag icon")
  message(FATAL_ERROR "the installed game did not find its drag icon through bin/pintu")
endif()

# The installed decoding process answers as the game expects: the drag icon on its standard
# input, the answer's mark at the start of its standard output.
execute_process(COMMAND ${PREFIX}/lib/pintu/pintu-decode
                INPUT_FILE ${PREFIX}/lib/pintu/drag1pg.ico
                RESULT_VARIABLE result OUTPUT_VARIABLE answer)
if(NOT result EQUAL 0 OR NOT answer MATCHES "^PINTUDEC")
  message(FATAL_ERROR "the installed pintu-decode did not decode the drag icon: ${result}")
endif()

# The version, as the installed program tells it without a display.
execute_process(COMMAND ${PREFIX}/bin/pintu --version
                RESULT_VARIABLE result OUTPUT_VARIABLE version)
if(NOT result EQUAL 0 OR NOT version MATCHES "^pintu [0-9]+\\.[0-9]+")
  message(FATAL_ERROR "bin/pintu --version: ${result} '${version}'")
endif()

# The desktop's MIME cache, made as a system's is from the installed entries, names the entry for
# each MIME type it lists: file managers offer the game to open those files.
find_program(UPDATE_DESKTOP_DATABASE update-desktop-database REQUIRED)
set(applications ${PREFIX}/share/applications)
execute_process(COMMAND ${UPDATE_DESKTOP_DATABASE} ${applications} COMMAND_ERROR_IS_FATAL ANY)
file(READ ${applications}/pintu.desktop entry)
if(NOT entry MATCHES "\nMimeType=([^\n]*)")
  message(FATAL_ERROR "the menu entry lists no MIME types")
endif()
set(types ${CMAKE_MATCH_1}) # ";" between them: a list
list(REMOVE_ITEM types "")
file(READ ${applications}/mimeinfo.cache cache)
foreach(type IN LISTS types)
  string(FIND "${cache}" "\n${type}=" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "mimeinfo.cache has no handler for ${type}")
  endif()
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${cache}" ${at} -1 rest)
  string(FIND "${rest}" "\n" end)
  string(SUBSTRING "${rest}" 0 ${end} line)
  if(NOT line MATCHES "[=;]pintu\\.desktop;")
    message(FATAL_ERROR "mimeinfo.cache does not offer pintu.desktop for ${type}: ${line}")
  endif()
endforeach()
list(LENGTH types count)
message(STATUS "mimeinfo.cache offers pintu.desktop for the ${count} MIME types it lists")
