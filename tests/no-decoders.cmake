# cmake -DPROGRAM=path -P no-decoders.cmake: fails when the program holds any of the decoders
# (the structure walks, the metafile renderer, the SVG reader, the in-process decode, the colour
# conversion) or links a decoding library of its own, or when its symbols cannot be read (then
# this proves nothing).
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
# The libraries only the decoding process links, which the program must not load itself.
execute_process(COMMAND readelf --dynamic ${PROGRAM} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed OR NOT dynamic MATCHES "NEEDED")
  message(FATAL_ERROR "cannot read the libraries ${PROGRAM} needs")
endif()
foreach(library libheif libavif libjxl libde265 libdav1d libtiff librsvg libseccomp liblcms2)
  if(dynamic MATCHES "NEEDED[^\n]*\\[${library}")
    message(FATAL_ERROR "${PROGRAM} links a decoding library: ${library}")
  endif()
endforeach()
