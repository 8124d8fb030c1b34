// Compiled with the include roots the game's loading layer links, and no others: it builds only
// when that layer sees itself and none of the layers it must not use, the decoders least.
#if !__has_include("loading/decodejob.h")
#error "the probe does not see its own layer, so it proves nothing"
#endif
#if __has_include("picture/decoder.h")
#error "the loading layer can include the decoders"
#endif
#if __has_include("puzzle/boardstate.h")
#error "the loading layer can include the puzzle layer"
#endif
#if __has_include("windows/form1.h")
#error "the loading layer can include the windows above it"
#endif
