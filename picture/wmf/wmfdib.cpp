// Decodes the bitmaps a metafile embeds. Every read is checked against the bytes given.
#include "wmfdib.h"

#include "picture/bytes.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>

namespace wmf {

namespace {

using picture::u16;
using picture::u32;

// One colour channel of a bit-field pixel, widened to eight bits.
struct Channel
{
    quint32 mask = 0;
    int shift = 0;
    quint64 max = 0;

    explicit Channel(quint32 m) : mask(m)
    {
        if (!m)
            return;
        shift = std::countr_zero(m);
        const int bits = 32 - std::countl_zero(m >> shift);
        max = (quint64(1) << bits) - 1;
    }
    int operator()(quint32 v) const
    {
        if (!max)
            return 0;
        return int(((quint64((v & mask) >> shift)) * 255 + max / 2) / max);
    }
};

enum Compression : quint32 { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

// What a DIB's header and colour table say of its bits.
struct Layout
{
    qint64 width = 0, height = 0;
    bool topDown = false;
    int bits = 0;
    quint32 compression = Rgb;
    quint32 masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    QList<QRgb> colors;              // for 8 bits a pixel and fewer
    qsizetype start = 0;             // where the bits begin
    qint64 stride = 0;               // bytes a stored row
};

// The bit fields' masks: given after the header (or in it, from 52 bytes on, and the alpha
// mask from 56), or the standard ones of 16 and 32 bits a pixel. Of a header shorter than
// that, an alpha mask follows the others only when the compression says so (6). *pos moves
// past masks that follow the header.
bool readMasks(QByteArrayView data, const picture::DibHeader &h, quint32 compression, Layout *l,
               qsizetype *pos)
{
    if (l->compression == BitFields) {
        const qsizetype at = h.size >= 52 ? 40 : qsizetype(h.size);
        const qsizetype count = h.size >= 56 || compression == AlphaBitFields ? 4 : 3;
        if (at + 4 * count > data.size())
            return false;
        for (qsizetype i = 0; i < count; ++i)
            l->masks[i] = u32(data, at + 4 * i);
        *pos = std::max<qsizetype>(*pos, at + 4 * count);
    } else if (l->bits == 16) {
        l->masks[0] = 0x7C00, l->masks[1] = 0x03E0, l->masks[2] = 0x001F;
    } else if (l->bits == 32) {
        l->masks[0] = 0xFF0000, l->masks[1] = 0x00FF00, l->masks[2] = 0x0000FF;
    }
    return true;
}

// The colour table at pos: RGB quads (or triples after the old header), or with colorUsage 1
// indices into palette. The bits follow it.
DibStatus readColors(QByteArrayView data, const picture::DibHeader &h, quint16 colorUsage,
                     const QList<QRgb> &palette, qsizetype pos, qsizetype bitsAt, Layout *l)
{
    const int bpp = l->bits;
    const quint32 colorsUsed = h.colorsUsed;
    qint64 entries = bpp <= 8 ? (colorsUsed ? qint64(colorsUsed) : (1 << bpp)) : colorsUsed;
    const int entrySize = colorUsage == 1 ? 2 : (h.isCore() ? 3 : 4);
    l->stride = ((l->width * bpp + 31) / 32) * 4;
    if (entries < 0 || entries > 65536)
        return DibStatus::Malformed;
    if (bitsAt >= pos && colorsUsed == 0 && bpp <= 8) {
        // A file's header says where the bits are: the table is what fits before them.
        entries = std::min<qint64>(entries, (bitsAt - pos) / entrySize);
    } else if (l->compression == Rgb && colorsUsed == 0 && bpp <= 8 &&
               pos + entries * entrySize + l->stride * l->height > data.size()) {
        // Some writers store fewer colours than the depth has and leave the count at zero:
        // the table is what lies before the bits.
        entries = std::max<qint64>(0, (data.size() - pos - l->stride * l->height) / entrySize);
    }
    if (pos + entries * entrySize > data.size())
        return DibStatus::Malformed;
    if (bpp <= 8) {
        const int n = 1 << bpp;
        l->colors.resize(n, qRgb(0, 0, 0));
        for (qint64 i = 0; i < entries && i < n; ++i) {
            const qsizetype at = pos + i * entrySize;
            if (entrySize == 2) {
                const quint16 index = u16(data, at);
                l->colors[i] = index < palette.size() ? palette[index] : qRgb(0, 0, 0);
            } else {
                l->colors[i] = qRgb(quint8(data[at + 2]), quint8(data[at + 1]), quint8(data[at]));
            }
        }
    }
    l->start = pos + entries * entrySize;
    if (bitsAt >= l->start && bitsAt <= data.size())
        l->start = bitsAt;
    return DibStatus::Ok;
}

// The header, the bit-field masks and the colour table, or why the DIB is not drawn.
DibStatus readLayout(QByteArrayView data, quint16 colorUsage, const QList<QRgb> &palette,
                     qint64 maxPixels, qsizetype bitsAt, Layout *l)
{
    const std::optional<picture::DibHeader> h = picture::readDibHeader(data, 0);
    if (!h)
        return DibStatus::Malformed;
    l->width = h->width;
    l->height = h->height;
    l->bits = h->bits;
    l->compression = h->compression == AlphaBitFields ? BitFields : h->compression;
    l->topDown = l->height < 0;
    if (l->topDown)
        l->height = -l->height;
    if (l->width <= 0 || l->height <= 0)
        return DibStatus::Malformed;
    if (l->width > (1 << 20) || l->height > (1 << 20) || l->width * l->height > maxPixels)
        return DibStatus::TooLarge;
    const int bpp = l->bits;
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return DibStatus::Unsupported;
    const quint32 c = l->compression;
    if (!(c == Rgb || (c == Rle8 && bpp == 8) || (c == Rle4 && bpp == 4) ||
          (c == BitFields && (bpp == 16 || bpp == 32))))
        return DibStatus::Unsupported;

    qsizetype pos = h->size;
    if (!readMasks(data, *h, h->compression, l, &pos))
        return DibStatus::Malformed;
    return readColors(data, *h, colorUsage, palette, pos, bitsAt, l);
}

// One bit a pixel, kept as it is with its two colours; missing rows stay the second colour
// (mostly white).
QImage monochrome(const Layout &l, QByteArrayView bits)
{
    QImage img(int(l.width), int(l.height), QImage::Format_Mono);
    if (img.isNull())
        return img;
    img.setColorTable(l.colors);
    img.fill(1);
    const qint64 rowBytes = (l.width + 7) / 8;
    for (qint64 y = 0; y < l.height; ++y) {
        if ((y + 1) * l.stride > bits.size())
            break;
        const qint64 row = l.topDown ? y : l.height - 1 - y;
        std::memcpy(img.scanLine(int(row)), bits.data() + y * l.stride, size_t(rowBytes));
    }
    return img;
}

// Sets the pixel of stored row y (the bottom one first unless top down), when it lies inside.
void put(QImage &img, const Layout &l, qint64 x, qint64 y, QRgb c)
{
    if (x < 0 || x >= l.width || y < 0 || y >= l.height)
        return;
    const qint64 row = l.topDown ? y : l.height - 1 - y;
    reinterpret_cast<QRgb *>(img.scanLine(int(row)))[x] = c;
}

void runLength(QImage &img, const Layout &l, QByteArrayView bits)
{
    img.fill(l.colors.value(0));
    picture::walkRunLength(
        bits, l.width, l.height, l.compression == Rle4,
        [&](qint64 x, qint64 y, int index) { put(img, l, x, y, l.colors[index]); });
}

// Uncompressed rows of 2 to 32 bits a pixel; missing rows stay white. An alpha mask counts
// only in an image with an alpha channel.
void packed(QImage &img, const Layout &l, QByteArrayView bits)
{
    const Channel red(l.masks[0]), green(l.masks[1]), blue(l.masks[2]);
    const Channel alpha(img.hasAlphaChannel() ? l.masks[3] : 0);
    const auto colour = [&](quint32 v) {
        return alpha.mask ? qRgba(red(v), green(v), blue(v), alpha(v))
                          : qRgb(red(v), green(v), blue(v));
    };
    for (qint64 y = 0; y < l.height; ++y) {
        if ((y + 1) * l.stride > bits.size())
            break;
        const uchar *src = reinterpret_cast<const uchar *>(bits.data()) + y * l.stride;
        for (qint64 x = 0; x < l.width; ++x) {
            QRgb c;
            switch (l.bits) {
            case 2:
                c = l.colors[(src[x / 4] >> (6 - 2 * (x & 3))) & 3];
                break;
            case 4:
                c = l.colors[(x & 1) ? (src[x / 2] & 0x0F) : (src[x / 2] >> 4)];
                break;
            case 8:
                c = l.colors[src[x]];
                break;
            case 16: {
                const quint32 v = quint32(src[2 * x]) | (quint32(src[2 * x + 1]) << 8);
                c = colour(v);
                break;
            }
            case 24:
                c = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                break;
            default: {
                quint32 v;
                std::memcpy(&v, src + 4 * x, 4);
                v = qFromLittleEndian(v);
                c = colour(v);
                break;
            }
            }
            put(img, l, x, y, c);
        }
    }
}

} // namespace

DibStatus decodeDib(QByteArrayView data, quint16 colorUsage, const QList<QRgb> &palette,
                    qint64 maxPixels, QImage *out, const DibOptions &options)
{
    *out = QImage();
    Layout l;
    if (const DibStatus status =
            readLayout(data, colorUsage, palette, maxPixels, options.bitsAt, &l);
        status != DibStatus::Ok)
        return status;
    const QByteArrayView bits = data.sliced(l.start);
    if (l.bits == 1 && l.compression == Rgb) {
        *out = monochrome(l, bits);
        return out->isNull() ? DibStatus::TooLarge : DibStatus::Ok;
    }
    const bool alpha = options.alpha && l.compression == BitFields && l.masks[3] != 0;
    QImage img(int(l.width), int(l.height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (img.isNull())
        return DibStatus::TooLarge;
    img.fill(Qt::white);
    if (l.compression == Rle8 || l.compression == Rle4)
        runLength(img, l, bits);
    else
        packed(img, l, bits);
    *out = img;
    return DibStatus::Ok;
}

DibStatus decodeBitmap16(QByteArrayView data, qint64 maxPixels, QImage *out)
{
    *out = QImage();
    if (data.size() < 10)
        return DibStatus::Malformed;
    const qint64 width = qint16(u16(data, 2));
    const qint64 height = qint16(u16(data, 4));
    const qint64 widthBytes = qint16(u16(data, 6));
    const int planes = quint8(data[8]);
    const int bpp = quint8(data[9]);
    if (width <= 0 || height <= 0 || widthBytes <= 0 || planes != 1)
        return DibStatus::Malformed;
    if (width * height > maxPixels)
        return DibStatus::TooLarge;
    if (bpp != 1 && bpp != 24 && bpp != 32)
        return DibStatus::Unsupported;
    if (widthBytes * 8 < width * bpp)
        return DibStatus::Malformed;
    const QByteArrayView bits = data.sliced(10);
    if (bpp == 1) {
        QImage img = QImage(int(width), int(height), QImage::Format_Mono);
        if (img.isNull())
            return DibStatus::TooLarge;
        img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        img.fill(1);
        for (qint64 y = 0; y < height && (y + 1) * widthBytes <= bits.size(); ++y)
            std::memcpy(img.scanLine(int(y)), bits.data() + y * widthBytes,
                        size_t((width + 7) / 8));
        *out = img;
        return DibStatus::Ok;
    }
    QImage img = QImage(int(width), int(height), QImage::Format_RGB32);
    if (img.isNull())
        return DibStatus::TooLarge;
    img.fill(Qt::white);
    const int step = bpp / 8;
    for (qint64 y = 0; y < height && (y + 1) * widthBytes <= bits.size(); ++y) {
        const uchar *src = reinterpret_cast<const uchar *>(bits.data()) + y * widthBytes;
        QRgb *dst = reinterpret_cast<QRgb *>(img.scanLine(int(y)));
        for (qint64 x = 0; x < width; ++x)
            dst[x] = qRgb(src[step * x + 2], src[step * x + 1], src[step * x]);
    }
    *out = img;
    return DibStatus::Ok;
}

} // namespace wmf
