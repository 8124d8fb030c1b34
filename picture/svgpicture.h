// SVG pictures, drawn as vectors at the size they are shown, by librsvg (filters, masks, CSS,
// text and the rest of SVG 1.1 and much of SVG 2). A player's SVG names no other file that gets
// read: its references to other files are taken out before it is drawn, and librsvg is given no
// base file to read others relative to.
#pragma once

#include "decoder.h"

#include <QByteArrayView>

namespace picture {

// How far into a file an SVG's first element may lie: as far as the decoding process reads
// before it decides (app/pintu-decode.cpp), so that the same file is told the same way then and
// once it is read whole. A declaration, comments and a document type of more are very unusual.
inline constexpr qsizetype SvgPrologLimit = qsizetype(64) * 1024;

// True when the bytes are an XML document, in UTF-8 or in UTF-16 with its byte order mark,
// whose first element is <svg>, within the first SvgPrologLimit bytes.
bool looksLikeSvg(QByteArrayView head);

// The SVG drawn on white: at its own size (its width and height at 96 pixels an inch, else its
// viewBox) times request.density, no larger than fits request.fitTo, or with its longest side at
// request.longestSide; in any case within limits. The image's device pixel ratio is the density
// it was drawn at.
Picture renderSvg(QByteArrayView bytes, const Request &request, const Limits &limits);

} // namespace picture
