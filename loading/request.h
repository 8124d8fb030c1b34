// What a picture is wanted for, and how the game tells the decoding process: its command-line
// arguments, written and read here alone, so that each range is checked in one place.
#pragma once

#include "limits.h"

#include <QMetaType>
#include <QSize>
#include <QStringList>

namespace picture {

struct Request
{
    // A preview or the puzzle window needs no more pixels than this: the picture is given back
    // no larger than it takes to cover fitTo, keeping its shape, and decoded smaller where its
    // format can do that cheaply (a JPEG at a fraction of its size).
    QSize fitTo;
    // > 0: the picture with its longest side at this many pixels (within the limits): a
    // metafile or SVG drawn again as vectors at that size, other pictures scaled smoothly.
    int longestSide = 0;
    // The screen's pixels to a window pixel: an SVG is drawn that much larger (and says so in
    // its image's device pixel ratio), so that it stays sharp on a dense screen.
    qreal density = 1;
};

namespace request {

// The ranges a request keeps to; anything outside reads as not asked for.
inline constexpr qreal MinDensity = 1, MaxDensity = 8;
inline bool isSide(qint64 side) { return side >= 1 && side <= MaxSide; }
inline bool isDensity(qreal density) { return density >= MinDensity && density <= MaxDensity; }

// --fit WIDTH HEIGHT or --longest SIDE, then --density RATIO when it is not 1; what is out of
// range is left out.
QStringList arguments(const Request &request);

// The request the arguments carry; what is not understood or out of range is left as it would
// be without it.
Request fromArguments(const QStringList &arguments);

} // namespace request

} // namespace picture

Q_DECLARE_METATYPE(picture::Request)
