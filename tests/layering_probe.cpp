// Built by the layering test only, and expected not to compile: code of the picture layer
// cannot include a header of the windows above it.
#include "picture/decoder.h"
#include "windows/form1.h"
