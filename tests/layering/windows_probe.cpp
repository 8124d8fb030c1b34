// Compiled with the include roots the windows link, and no others: the game's windows reach
// pictures through the loading layer and never see a decoder.
#if !__has_include("windows/form1.h") || !__has_include("loading/decodejob.h")
#error "the probe does not see the layers the windows use, so it proves nothing"
#endif
#if __has_include("picture/decoder.h")
#error "the windows can include the decoders"
#endif
