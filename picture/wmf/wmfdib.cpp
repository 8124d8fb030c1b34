// Decodes the bitmaps a metafile embeds. Every read is checked against the bytes given.
#include "wmfdib.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>

namespace wmf {

namespace {

quint16 u16(QByteArrayView d, qsizetype at)
{
    return quint16(quint8(d[at]) | (quint8(d[at + 1]) << 8));
}

quint32 u32(QByteArrayView d, qsizetype at)
{
    return quint32(u16(d, at)) | (quint32(u16(d, at + 2)) << 16);
}

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

QImage makeImage(qint64 w, qint64 h, QImage::Format format)
{
    QImage img(int(w), int(h), format);
    return img;
}

} // namespace

DibStatus decodeDib(QByteArrayView data, quint16 colorUsage, const QList<QRgb> &palette,
                    qint64 maxPixels, QImage *out)
{
    *out = QImage();
    if (data.size() < 12)
        return DibStatus::Malformed;
    const quint32 headerSize = u32(data, 0);
    qint64 width = 0, height = 0;
    int bpp = 0;
    quint32 compression = 0, colorsUsed = 0;
    bool core = false;
    if (headerSize == 12) {
        core = true;
        width = u16(data, 4);
        height = u16(data, 6);
        bpp = u16(data, 10);
    } else if (headerSize >= 40 && headerSize <= 1024 && qsizetype(headerSize) <= data.size()) {
        width = qint32(u32(data, 4));
        height = qint32(u32(data, 8));
        bpp = u16(data, 14);
        compression = u32(data, 16);
        colorsUsed = u32(data, 32);
    } else {
        return DibStatus::Malformed;
    }
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (width <= 0 || height <= 0)
        return DibStatus::Malformed;
    if (width > (1 << 20) || height > (1 << 20) || width * height > maxPixels)
        return DibStatus::TooLarge;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return DibStatus::Unsupported;
    enum { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };
    if (compression == AlphaBitFields)
        compression = BitFields;
    if (!(compression == Rgb || (compression == Rle8 && bpp == 8) ||
          (compression == Rle4 && bpp == 4) ||
          (compression == BitFields && (bpp == 16 || bpp == 32))))
        return DibStatus::Unsupported;

    qsizetype pos = headerSize;
    quint32 masks[3] = {0, 0, 0};
    if (compression == BitFields) {
        const qsizetype at = headerSize >= 52 ? 40 : qsizetype(headerSize);
        if (at + 12 > data.size())
            return DibStatus::Malformed;
        for (int i = 0; i < 3; ++i)
            masks[i] = u32(data, at + 4 * qsizetype(i));
        if (headerSize < 52)
            pos += 12;
    } else if (bpp == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (bpp == 32) {
        masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
    }

    // Colour table: RGB quads (or triples after the old header), or palette indices.
    qint64 entries = bpp <= 8 ? (colorsUsed ? qint64(colorsUsed) : (1 << bpp)) : colorsUsed;
    const int entrySize = colorUsage == 1 ? 2 : (core ? 3 : 4);
    const qint64 stride = ((width * bpp + 31) / 32) * 4;
    if (entries < 0 || entries > 65536)
        return DibStatus::Malformed;
    if (compression == Rgb && colorsUsed == 0 && bpp <= 8 &&
        pos + entries * entrySize + stride * height > data.size()) {
        // Some writers store fewer colours than the depth has and leave the count at zero:
        // the table is what lies before the bits.
        entries = std::max<qint64>(0, (data.size() - pos - stride * height) / entrySize);
    }
    if (pos + entries * entrySize > data.size())
        return DibStatus::Malformed;
    QList<QRgb> colors;
    if (bpp <= 8) {
        const int n = 1 << bpp;
        colors.resize(n, qRgb(0, 0, 0));
        for (qint64 i = 0; i < entries && i < n; ++i) {
            const qsizetype at = pos + i * entrySize;
            if (entrySize == 2) {
                const quint16 index = u16(data, at);
                colors[i] = index < palette.size() ? palette[index] : qRgb(0, 0, 0);
            } else {
                colors[i] = qRgb(quint8(data[at + 2]), quint8(data[at + 1]), quint8(data[at]));
            }
        }
    }
    pos += entries * entrySize;
    const QByteArrayView bits = data.sliced(pos);

    if (bpp == 1 && compression == Rgb) {
        QImage img = makeImage(width, height, QImage::Format_Mono);
        if (img.isNull())
            return DibStatus::TooLarge;
        img.setColorTable(colors);
        img.fill(1); // missing rows stay the second colour (mostly white)
        const qint64 rowBytes = (width + 7) / 8;
        for (qint64 y = 0; y < height; ++y) {
            if ((y + 1) * stride > bits.size())
                break;
            const qint64 row = topDown ? y : height - 1 - y;
            std::memcpy(img.scanLine(int(row)), bits.data() + y * stride, size_t(rowBytes));
        }
        *out = img;
        return DibStatus::Ok;
    }

    QImage img = makeImage(width, height, QImage::Format_RGB32);
    if (img.isNull())
        return DibStatus::TooLarge;
    img.fill(Qt::white);

    auto put = [&](qint64 x, qint64 y, QRgb c) {
        if (x < 0 || x >= width || y < 0 || y >= height)
            return;
        const qint64 row = topDown ? y : height - 1 - y;
        reinterpret_cast<QRgb *>(img.scanLine(int(row)))[x] = c;
    };

    if (compression == Rle8 || compression == Rle4) {
        img.fill(colors.value(0));
        const qsizetype n = bits.size();
        qsizetype p = 0;
        qint64 x = 0, y = 0;
        const bool four = compression == Rle4;
        while (p + 1 < n && y < height) {
            const int count = quint8(bits[p]);
            const int value = quint8(bits[p + 1]);
            p += 2;
            if (count > 0) {
                for (int i = 0; i < count; ++i, ++x) {
                    const int index = four ? ((i & 1) ? value & 0x0F : value >> 4) : value;
                    put(x, y, colors[index]);
                }
            } else if (value == 0) {
                x = 0;
                ++y;
            } else if (value == 1) {
                break;
            } else if (value == 2) {
                if (p + 1 >= n)
                    break;
                x += quint8(bits[p]);
                y += quint8(bits[p + 1]);
                p += 2;
            } else {
                const qsizetype bytes = four ? (value + 1) / 2 : value;
                if (p + bytes > n)
                    break;
                for (int i = 0; i < value; ++i, ++x) {
                    const int byte = quint8(bits[p + (four ? i / 2 : i)]);
                    const int index = four ? ((i & 1) ? byte & 0x0F : byte >> 4) : byte;
                    put(x, y, colors[index]);
                }
                p += bytes + (bytes & 1);
            }
        }
        *out = img;
        return DibStatus::Ok;
    }

    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (qint64 y = 0; y < height; ++y) {
        if ((y + 1) * stride > bits.size())
            break;
        const uchar *src = reinterpret_cast<const uchar *>(bits.data()) + y * stride;
        for (qint64 x = 0; x < width; ++x) {
            QRgb c;
            switch (bpp) {
            case 4:
                c = colors[(x & 1) ? (src[x / 2] & 0x0F) : (src[x / 2] >> 4)];
                break;
            case 8:
                c = colors[src[x]];
                break;
            case 16: {
                const quint32 v = quint32(src[2 * x]) | (quint32(src[2 * x + 1]) << 8);
                c = qRgb(red(v), green(v), blue(v));
                break;
            }
            case 24:
                c = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                break;
            default: {
                quint32 v;
                std::memcpy(&v, src + 4 * x, 4);
                v = qFromLittleEndian(v);
                c = qRgb(red(v), green(v), blue(v));
                break;
            }
            }
            put(x, y, c);
        }
    }
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
        QImage img = makeImage(width, height, QImage::Format_Mono);
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
    QImage img = makeImage(width, height, QImage::Format_RGB32);
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
