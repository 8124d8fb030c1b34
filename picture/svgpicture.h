// SVG pictures, drawn as vectors at the size they are shown, by librsvg (filters, masks, CSS,
// text and the rest of SVG 1.1 and much of SVG 2). A player's SVG names no other file that gets
// read: its references to other files are taken out before it is drawn, and librsvg is given no
// base file to read others relative to.
#pragma once

#include "decoder.h"

#include <QByteArrayView>

namespace picture {

// True when the bytes start like an SVG document (an XML declaration, a comment or the <svg>
// element itself, with <svg in the first few kilobytes).
bool looksLikeSvg(QByteArrayView head);

// The SVG drawn on white: at its own size (its width and height at 96 pixels an inch, else its
// viewBox) times request.density, no larger than fits request.fitTo, or with its longest side at
// request.longestSide; in any case within limits. The image's device pixel ratio is the density
// it was drawn at.
Picture renderSvg(QByteArrayView bytes, const Request &request, const Limits &limits);

} // namespace picture
