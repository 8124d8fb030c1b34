// One loader for every picture the game shows: the chooser's preview, the puzzle picture and
// the pictures the tools render. A player's file is untrusted input.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QByteArray;

namespace picture {

// Largest picture we decode: 16384 pixels a side and 64 megapixels (256 MiB at 32 bits a
// pixel). The puzzle keeps positions in 16-bit integers, which this side limit respects.
inline constexpr int MaxSide = 16384;
inline constexpr qint64 Mebi = 1024 * 1024;
inline constexpr qint64 MaxPixels = 64 * Mebi;
// Largest file we read into memory.
inline constexpr qint64 MaxFileBytes = 256 * Mebi;

struct Picture
{
    QImage image;  // null on failure
    QString error; // a message for the player (Traditional Chinese) on failure
    bool isNull() const { return image.isNull(); }
};

// Reads and decodes the picture at path (BMP, JPEG, GIF, ICO, WMF, told by content, not by
// name). A JPEG is turned upright as its orientation tag says; a GIF gives its first frame.
// With a valid fitTo the picture may be decoded smaller, never below fitTo in either
// direction, when the format can do that cheaply (a preview need not decode every pixel).
Picture load(const QString &path, QSize fitTo = {});
Picture loadFromData(const QByteArray &bytes, const QString &name, QSize fitTo = {});

// The picture with its longest side at `longestSide` pixels (within MaxSide): a metafile is
// drawn again as vectors at that size, other pictures are scaled smoothly.
Picture loadAtSize(const QString &path, int longestSide);
Picture loadFromDataAtSize(const QByteArray &bytes, const QString &name, int longestSide);

} // namespace picture
