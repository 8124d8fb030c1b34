// Compiled with the include roots the decoders link, and no others: it builds only when that
// layer sees itself and the loading layer whose answers it writes, and none of the layers it
// must not use.
#if !__has_include("picture/decoder.h") || !__has_include("loading/decodeanswer.h")
#error "the probe does not see its own layers, so it proves nothing"
#endif
#if __has_include("puzzle/boardstate.h")
#error "the picture layer can include the puzzle layer"
#endif
#if __has_include("windows/form1.h")
#error "the picture layer can include the windows above it"
#endif
