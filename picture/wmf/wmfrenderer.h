// Renders a Windows Metafile (placeable or not) into a QImage.
#pragma once

#include "loading/refusal.h"

#include <QByteArrayView>
#include <QImage>

namespace wmf {

struct Limits;

// True when the bytes start like a metafile: the placeable key, or a plain metafile header.
bool looksLikeMetafile(QByteArrayView head);

// Draws the metafile onto a white, antialiased image of the metafile's own size.
// On failure returns a null image and says why in *refusal. Never reads outside data, never
// allocates without bound.
//
// The size: a placeable metafile's frame at 96 pixels an inch; otherwise the window the
// metafile sets (one pixel a logical unit, or its viewport's size when it sets one too), or
// else the bounds of what it draws. A picture larger than Limits::maxSide a side or
// Limits::maxPixels in all (8192 and 32 Mi pixels) is scaled down to fit, keeping its shape;
// one without the placeable header, whose units are unknown, to Limits::maxPlainSide (2048).
//
// longestSide > 0 draws the metafile again, as vectors, with its longest side at that many
// pixels (within the same limits). Thin lines along the axes are put on whole pixels at any
// size, as the platform draws them.
QImage render(QByteArrayView data, picture::Refusal *refusal);
QImage render(QByteArrayView data, picture::Refusal *refusal, const Limits &limits,
              int longestSide = 0);

} // namespace wmf
