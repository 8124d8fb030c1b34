# cmake -DPROGRAM=path -P no-decoders.cmake: fails when the program holds any of the decoders
# (the structure walks, the metafile renderer, the SVG reader, the in-process decode, the colour
# conversion) or loads Little CMS, or when its symbols cannot be read (then this proves nothing).
execute_process(COMMAND nm --demangle --defined-only ${PROGRAM}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed OR NOT symbols MATCHES "picture::DecodeJob::start")
  message(FATAL_ERROR "cannot read the symbols of ${PROGRAM}")
endif()
foreach(decoder "picture::survey" "picture::wmf::" "picture::renderSvg" "picture::decode\\("
                "picture::checkHead" "picture::walls::" "picture::toSrgb" "picture::jpegColour"
                "cmsCreateTransform")
  if(symbols MATCHES "${decoder}")
    message(FATAL_ERROR "${PROGRAM} holds a decoder: ${decoder}")
  endif()
endforeach()
execute_process(COMMAND objdump -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed OR NOT headers MATCHES "NEEDED +libQt6Core")
  message(FATAL_ERROR "cannot read the libraries ${PROGRAM} needs")
endif()
if(headers MATCHES "NEEDED +liblcms2")
  message(FATAL_ERROR "${PROGRAM} loads Little CMS")
endif()
