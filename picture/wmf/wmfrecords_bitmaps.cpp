// Records that draw bitmaps, and the decoding of the bitmaps records carry.
#include "wmfrecords.h"

#include "wmfdib.h"

#include <algorithm>
#include <cmath>

namespace wmf {

namespace {

// Does a raster operation read the source bitmap?
bool ropUsesSource(quint32 rop) { return (((rop >> 2) ^ rop) & 0x330000) != 0; }

} // namespace

bool Parser::decodeBitmapParam(QByteArrayView bytes, quint16 colorUsage, bool dib, QImage *out)
{
    const qint64 budget =
        std::min(m_limits.maxBitmapPixels, m_limits.maxDecodedPixels - m_decodedPixels);
    const DibStatus status = dib ? decodeDib(bytes, colorUsage, m_dc.palette.colors, budget, out)
                                 : decodeBitmap16(bytes, budget, out);
    switch (status) {
    case DibStatus::Ok:
        m_decodedPixels += qint64(out->width()) * out->height();
        return true;
    case DibStatus::Unsupported:
        *out = QImage(); // drawn as nothing, like other players do
        return true;
    case DibStatus::TooLarge:
        return fail(Reason::MetafileBitmapTooLarge,
                    {QString::number(m_limits.maxBitmapPixels / (1024LL * 1024)),
                     QString::number(m_limits.maxDecodedPixels / (1024LL * 1024))});
    case DibStatus::Malformed:
        break;
    }
    // A broken bitmap inside a well-formed record: drawn as nothing, the rest still shows.
    *out = QImage();
    return true;
}

// BitBlt, StretchBlt, their DIB forms, StretchDib and SetDiBitsToDevice.
bool Parser::blit(quint16 function, QByteArrayView p)
{
    // Without a bitmap the record is as long as its function number's high byte says.
    const bool noBitmap = p.size() == qsizetype((function >> 8) & 0xFF) * 2;
    quint32 rop = 0x00CC0020;
    qint16 srcX = 0, srcY = 0, srcW = 0, srcH = 0, dstX = 0, dstY = 0, dstW = 0, dstH = 0;
    quint16 colorUsage = 0;
    qsizetype bitsAt = 0;
    bool dib = true;
    bool bottomUpSource = false;
    switch (function) {
    case BitBlt:
    case DibBitBlt:
        if (p.size() < (noBitmap ? 18 : 16))
            return malformed();
        rop = u32(p, 0);
        srcY = s16(p, 4), srcX = s16(p, 6);
        if (noBitmap) {
            dstH = s16(p, 10), dstW = s16(p, 12), dstY = s16(p, 14), dstX = s16(p, 16);
        } else {
            dstH = s16(p, 8), dstW = s16(p, 10), dstY = s16(p, 12), dstX = s16(p, 14);
            bitsAt = 16;
        }
        srcW = dstW, srcH = dstH;
        dib = function == DibBitBlt;
        break;
    case StretchBlt:
    case DibStretchBlt:
        if (p.size() < (noBitmap ? 22 : 20))
            return malformed();
        rop = u32(p, 0);
        srcH = s16(p, 4), srcW = s16(p, 6), srcY = s16(p, 8), srcX = s16(p, 10);
        {
            const qsizetype d = noBitmap ? 14 : 12;
            dstH = s16(p, d), dstW = s16(p, d + 2), dstY = s16(p, d + 4), dstX = s16(p, d + 6);
        }
        bitsAt = 20;
        dib = function == DibStretchBlt;
        break;
    case StretchDib:
        if (p.size() < 22)
            return malformed();
        rop = u32(p, 0);
        colorUsage = u16(p, 4);
        srcH = s16(p, 6), srcW = s16(p, 8), srcY = s16(p, 10), srcX = s16(p, 12);
        dstH = s16(p, 14), dstW = s16(p, 16), dstY = s16(p, 18), dstX = s16(p, 20);
        bitsAt = 22;
        bottomUpSource = true;
        break;
    case SetDiBitsToDevice:
        if (p.size() < 18)
            return malformed();
        colorUsage = u16(p, 0);
        srcY = s16(p, 6), srcX = s16(p, 8);
        dstH = s16(p, 10), dstW = s16(p, 12), dstY = s16(p, 14), dstX = s16(p, 16);
        srcW = dstW, srcH = dstH;
        bitsAt = 18;
        bottomUpSource = true;
        break;
    default:
        return true;
    }
    drawing();
    const QPointF a = m_dc.mapping.map(QPointF(dstX, dstY));
    const QPointF b = m_dc.mapping.map(QPointF(dstX + dstW, dstY + dstH));
    const QRectF dest = QRectF(a, b).normalized();
    if (dest.isEmpty())
        return true;
    if (noBitmap || !ropUsesSource(rop)) {
        m_sink->patBlt(m_dc, dest, rop);
        return true;
    }
    QImage image;
    if (!decodeBitmapParam(p.sliced(bitsAt), colorUsage, dib, &image))
        return false;
    if (image.isNull())
        return true;
    // A one-bit device bitmap has no colours of its own: it takes the text and background
    // colours, as a monochrome bitmap does on a colour device.
    if (!dib && image.format() == QImage::Format_Mono)
        image.setColorTable({m_dc.textColor.rgb(), m_dc.bkColor.rgb()});
    // Mirror when the destination runs against the picture's axes.
    const bool flipX = (b.x() < a.x()) != (srcW < 0);
    const bool flipY = (b.y() < a.y()) != (srcH < 0);
    qreal sx = std::min(srcX, qint16(srcX + srcW)), sy = std::min(srcY, qint16(srcY + srcH));
    const qreal sw = std::abs(srcW), sh = std::abs(srcH);
    if (bottomUpSource && image.height() > 0)
        sy = image.height() - sy - sh;
    if (function == SetDiBitsToDevice && sy < 0)
        sy = 0;
    QRectF source(sx, sy, sw, sh);
    if (flipX || flipY) {
        image = image.mirrored(flipX, flipY);
        if (flipX)
            source.moveLeft(image.width() - source.right());
        if (flipY)
            source.moveTop(image.height() - source.bottom());
    }
    // Writers disagree on what the source rectangle counts in; keep it on the bitmap.
    source = source.intersected(QRectF(image.rect()));
    if (source.isEmpty())
        source = image.rect();
    m_sink->bitmap(m_dc, dest, image, source, rop);
    return true;
}

} // namespace wmf
