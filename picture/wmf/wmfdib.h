// Device-independent bitmaps and old device bitmaps as metafiles embed them.
#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QList>
#include <QRgb>

namespace wmf {

enum class DibStatus { Ok, Malformed, TooLarge, Unsupported };

// Decodes a packed DIB (header, colour table, bits) of 1, 4, 8, 16, 24 or 32 bits a pixel,
// uncompressed, RLE4, RLE8 or with bit fields. colorUsage 1 means the colour table holds
// indices into `palette`. Bits missing at the end are left white. A bitmap of more than
// maxPixels pixels is refused. One-bit bitmaps come back as Format_Mono with their colour
// table, everything else as Format_RGB32.
DibStatus decodeDib(QByteArrayView data, quint16 colorUsage, const QList<QRgb> &palette,
                    qint64 maxPixels, QImage *out);

// Decodes the old device-dependent bitmap (type, width, height, bytes a row, planes, bits a
// pixel, then the bits). Only one-bit bitmaps are meaningful without their device; they come
// back as Format_Mono with black and white.
DibStatus decodeBitmap16(QByteArrayView data, qint64 maxPixels, QImage *out);

} // namespace wmf
