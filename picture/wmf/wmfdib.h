// Device-independent bitmaps and old device bitmaps as metafiles embed them.
#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QList>
#include <QRgb>

namespace wmf {

enum class DibStatus { Ok, Malformed, TooLarge, Unsupported };

// How a DIB is read beyond what its header says: a metafile's bitmap is drawn opaque and its
// bits follow its colour table; a bitmap file's may carry an alpha mask and says itself where
// its bits begin.
struct DibOptions
{
    bool alpha = false;    // honour an alpha bit field
    qsizetype bitsAt = -1; // where the bits begin in data, when known (a file's header)
};

// Decodes a packed DIB (header, colour table, bits) of 1, 2, 4, 8, 16, 24 or 32 bits a pixel,
// uncompressed, RLE4, RLE8 or with bit fields of any width (each widened so that its full scale
// is 255). colorUsage 1 means the colour table holds indices into `palette`. A colour table
// shorter than the depth has leaves the rest black; with options.bitsAt and no count given, it
// is as long as the room before the bits. Bits missing at the end are left white. A bitmap of
// more than maxPixels pixels is refused. One-bit bitmaps come back as Format_Mono with their
// colour table, those with an honoured alpha mask as Format_ARGB32, everything else as
// Format_RGB32.
DibStatus decodeDib(QByteArrayView data, quint16 colorUsage, const QList<QRgb> &palette,
                    qint64 maxPixels, QImage *out, const DibOptions &options = {});

// Decodes the old device-dependent bitmap (type, width, height, bytes a row, planes, bits a
// pixel, then the bits). Only one-bit bitmaps are meaningful without their device; they come
// back as Format_Mono with black and white.
DibStatus decodeBitmap16(QByteArrayView data, qint64 maxPixels, QImage *out);

} // namespace wmf
