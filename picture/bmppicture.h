// BMP files through our own reader of device-independent bitmaps, the one that draws the
// bitmaps metafiles hold (wmf/wmfdib.h).
#pragma once

#include "surveys.h"

#include "loading/kinds.h"

namespace picture {

// The BMP file in bytes, which its walk s found whole and within the limits.
Picture readBmp(const QByteArray &bytes, const Survey &s, const Limits &limits);

} // namespace picture
