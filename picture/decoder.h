// Decoding the bytes of a picture file in this process. The game never does this with a
// player's file itself: its decoding process (pintu-decode, see decodejob.h) does, so that no
// file can freeze or end the game. The fuzz targets drive this code directly.
#pragma once

#include "refusal.h"

#include <QByteArrayView>
#include <QImage>
#include <QSize>

class QByteArray;

namespace picture {

// Largest picture we decode: 16384 pixels a side and 32 megapixels (128 MiB at 32 bits a
// pixel). The puzzle keeps positions in 16-bit integers, which this side limit respects.
inline constexpr int MaxSide = 16384;
inline constexpr qint64 Mebi = qint64(1024) * 1024;
inline constexpr qint64 MaxPixels = 32 * Mebi;
// Largest file we read into memory.
inline constexpr qint64 MaxFileBytes = 256 * Mebi;

struct Limits
{
    int maxSide = MaxSide;
    qint64 maxPixels = MaxPixels;
};

// What the picture is wanted for.
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

struct Picture
{
    QImage image; // null when refused
    Refusal refusal;
    bool isNull() const { return image.isNull(); }
};

// BMP, JPEG, PNG, GIF, ICO, WebP, TIFF, WMF or SVG, told by content, not by name. A JPEG is
// turned upright as its orientation tag says; a GIF or an animated WebP gives its first frame, a
// TIFF its first page, an ICO its first icon.
//
// Every picture given back is within the limits as decoded, whatever its header said. A file
// whose data ends before its pixels do is refused as incomplete, as our own walk over its
// structure tells (a missing end after whole data is fine, except for JPEG, whose data must
// end in its end marker). No estimate of the time a decode takes is made here: the decoding
// process has a clock of its own.
Picture decode(const QByteArray &bytes, const Request &request = {}, const Limits &limits = {});

// What the first bytes of a file tell before anything is decoded: that it is no picture of a
// kind we read, or one too large or of a form we do not read by its header alone. No refusal
// when they cannot tell.
Refusal checkHead(QByteArrayView head, const Limits &limits = {});

// Whether decoding needs fonts, and so a QGuiApplication: a metafile's text does.
bool needsFonts(QByteArrayView head);

} // namespace picture

Q_DECLARE_METATYPE(picture::Request)
