// How large a decoder makes a picture: one rule for every kind, so that a photo, an SVG and a
// metafile asked for the same size come out the same size, rounded the same way.
#pragma once

#include "loading/limits.h"
#include "loading/request.h"

#include <QSize>
#include <QSizeF>

namespace picture {

// The scale a picture of natural size is made at for request. natural is its pixels, or for a
// picture drawn as vectors its size at 96 dots an inch; most is the scale it may grow to when
// only fitTo is asked (1 for pixels, the screen's density for vectors).
// - longestSide asked: its longest side that many pixels, larger or smaller;
// - fitTo asked: no larger than it takes to cover fitTo with its shape kept;
// - always within limits. 0 for a size with no area.
qreal fittingScale(QSizeF natural, const Request &request, const Limits &limits, qreal most = 1);

// natural at that scale in whole pixels: each side rounded to the nearest (down, where that
// would pass the pixel limit), at least one, and within limits.
QSize scaledSize(QSizeF natural, qreal scale, const Limits &limits);

// Both at once.
inline QSize fittingSize(QSizeF natural, const Request &request, const Limits &limits,
                         qreal most = 1)
{
    return scaledSize(natural, fittingScale(natural, request, limits, most), limits);
}

} // namespace picture
