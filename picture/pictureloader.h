// One loader for every picture the game shows: the chooser's preview, the puzzle picture and
// the pictures the tools render. A player's file is untrusted input.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QByteArray;

namespace picture {

// Largest picture we decode: 16384 pixels a side and 32 megapixels (128 MiB at 32 bits a
// pixel). The puzzle keeps positions in 16-bit integers, which this side limit respects; the
// pixel limit keeps any decode of a picture within about a second on a modest machine that is
// busy with other work (a 64-megapixel PNG or GIF took two).
inline constexpr int MaxSide = 16384;
inline constexpr qint64 Mebi = qint64(1024) * 1024;
inline constexpr qint64 MaxPixels = 32 * Mebi;
// Largest file we read into memory.
inline constexpr qint64 MaxFileBytes = 256 * Mebi;
// Most scans a JPEG may have. libjpeg visits every block of the picture for each scan, even an
// empty one; common encoders write at most a dozen or so.
inline constexpr int MaxJpegScans = 100;
// What decoding one picture may cost, as estimated from its size and structure before any
// pixel is decoded (a JPEG's scans and coded bytes). A picture estimated above it is refused.
inline constexpr int MaxDecodeMilliseconds = 1500;

struct Picture
{
    QImage image;  // null on failure
    QString error; // a message for the player (Traditional Chinese) on failure
    bool isNull() const { return image.isNull(); }
};

// Reads and decodes the picture at path (BMP, JPEG, PNG, GIF, ICO, WMF, told by content, not by
// name). A JPEG is turned upright as its orientation tag says; a GIF gives its first frame, an
// ICO its first icon. With a valid fitTo the picture may be decoded smaller, never below fitTo
// in either direction, when the format can do that cheaply (a preview need not decode every
// pixel).
//
// Every picture given back is within MaxSide and MaxPixels as decoded, whatever its header
// said. A file whose pixel data ends before its last row is refused as incomplete (a missing
// end marker after whole data is fine); one whose decoding would cost too much is refused
// before decoding. Safe to call from several threads at once.
Picture load(const QString &path, QSize fitTo = {});
Picture loadFromData(const QByteArray &bytes, const QString &name, QSize fitTo = {});

// The picture with its longest side at `longestSide` pixels (within MaxSide): a metafile is
// drawn again as vectors at that size, other pictures are scaled smoothly.
Picture loadAtSize(const QString &path, int longestSide);
Picture loadFromDataAtSize(const QByteArray &bytes, const QString &name, int longestSide);

} // namespace picture
