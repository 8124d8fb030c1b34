// JPEG XL through libjxl: the picture, or the first frame of an animation, at full size, turned
// as its orientation says, reduced to 8 bits a sample, with its alpha, in sRGB.
#pragma once

#include "surveys.h"

#include "loading/kinds.h"

namespace picture {

// The picture in bytes, which its walk s found within the limits. A failure is refused as
// damaged, incomplete, unsupported (a form libjxl 0.7 decodes wrong: a black channel, CMYK) or
// out of memory. libjxl decodes on this thread alone.
Picture readJxl(const QByteArray &bytes, const Survey &s, const Limits &limits);

} // namespace picture
