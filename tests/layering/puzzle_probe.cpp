// Compiled with the include roots the puzzle layer links, and no others: it builds only when
// that layer sees itself and none of the layers it must not use.
#if !__has_include("puzzle/boardstate.h")
#error "the probe does not see its own layer, so it proves nothing"
#endif
#if __has_include("picture/decoder.h") || __has_include("loading/decodejob.h")
#error "the puzzle layer can include the picture layers"
#endif
#if __has_include("windows/form1.h")
#error "the puzzle layer can include the windows above it"
#endif
