# cmake -DPROGRAM=path -P no-decoders.cmake: fails when the program holds any of the decoders
# (the structure walks, the metafile renderer, the SVG reader, the in-process decode), or when
# its symbols cannot be read (then this proves nothing).
execute_process(COMMAND nm --demangle --defined-only ${PROGRAM}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed OR NOT symbols MATCHES "picture::DecodeJob::start")
  message(FATAL_ERROR "cannot read the symbols of ${PROGRAM}")
endif()
foreach(decoder "picture::survey" "picture::wmf::" "picture::renderSvg" "picture::decode\\("
                "picture::checkHead" "picture::walls::")
  if(symbols MATCHES "${decoder}")
    message(FATAL_ERROR "${PROGRAM} holds a decoder: ${decoder}")
  endif()
endforeach()
