// Where the puzzle window's controls lie, and what follows from it: the largest size a picture
// is shown at. Every place that sizes a picture for the puzzle window asks here.
#pragma once

#include "twips.h"

#include <QSize>

namespace layout::form1 {

// Where the client area lies on the screen and how large it is.
inline constexpr QRect Geometry = layout::rect(1425, 690, 10065, 8595);
inline constexpr QRect Command4Rect = layout::rect(6360, 120, 1215, 495);
inline constexpr QPoint Picture1Pos = layout::rect(480, 960, 0, 0).topLeft();
inline constexpr QRect Command2Rect = layout::rect(8040, 120, 1215, 495);
inline constexpr QRect Command1Rect = layout::rect(4680, 120, 1215, 495);

// The largest size a picture is shown at, in window pixels: the client area right of and below
// the picture's place, leaving the same margin on the right and at the bottom as on the left.
inline constexpr QSize LargestPicture{Geometry.width() - 2 * Picture1Pos.x(),
                                      Geometry.height() - Picture1Pos.y() - Picture1Pos.x()};
static_assert(LargestPicture == QSize(607, 477));

// The pixels a picture must have to be shown at LargestPicture on a screen of that density.
inline QSize largestPicturePixels(qreal density)
{
    return (QSizeF(LargestPicture) * density).toSize();
}

} // namespace layout::form1
