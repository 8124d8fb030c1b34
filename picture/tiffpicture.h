// TIFF files through libtiff itself: classic and BigTIFF, samples of 1 to 64 bits or floating
// point, strips or tiles, one plane or one a sample, grey, RGB, palette and CMYK pictures, with
// or without alpha, of any compression libtiff was built with. libtiff's own conversion to RGBA
// reads the colour spaces we do not (YCbCr, CIE L*a*b*, LogLuv).
#pragma once

#include "surveys.h"

#include "loading/kinds.h"

namespace picture {

// The first page of the TIFF in bytes, which its walk s found within the limits. A form that
// neither we nor libtiff read is refused as unsupported, naming it; libtiff's warnings and
// errors go nowhere.
Picture readTiff(const QByteArray &bytes, const Survey &s, const Limits &limits);

} // namespace picture
