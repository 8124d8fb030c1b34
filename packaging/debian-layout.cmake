# Run by CPack in the package's staging folder, before it packs the files up.
set(stage ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})

# Debian keeps the programs of section games in /usr/games, so the launcher link moves
# there. It still points at ../lib/pintu/pintu, which resolves the same from /usr/games.
if(NOT IS_SYMLINK ${stage}/bin/pintu)
  message(FATAL_ERROR "no launcher link at ${stage}/bin/pintu")
endif()
file(MAKE_DIRECTORY ${stage}/games)
file(RENAME ${stage}/bin/pintu ${stage}/games/pintu)
file(GLOB left ${stage}/bin/*)
if(NOT left)
  file(REMOVE_RECURSE ${stage}/bin)
endif()

# CPack has stripped the debugging symbols; the compiler's notes go too, as in Debian's
# own packages.
execute_process(COMMAND ${CPACK_PINTU_STRIP} --remove-section=.comment --remove-section=.note
                        ${stage}/lib/pintu/pintu ${stage}/lib/pintu/pintu-decode
                COMMAND_ERROR_IS_FATAL ANY)
