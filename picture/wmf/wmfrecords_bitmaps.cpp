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

namespace {

// Where the bitmap records keep their parameters, each a word but the raster operation: the
// destination as height, width, y and x; the source as its y and x, or when it has a size of
// its own as height, width, y and x. A record without a bitmap holds `gap` more bytes before
// its destination (BitBlt and StretchBlt, whose bitmap was a device's). The bitmap follows the
// record's fixed parameters.
struct BlitLayout
{
    quint16 function;
    int rop;        // -1: a plain copy
    int colorUsage; // -1: none
    int source;
    bool sourceSized;
    int dest;
    int gap;
    bool dib;
    bool bottomUpSource; // the source's y counts from the bitmap's last row
};

constexpr BlitLayout BlitLayouts[] = {
    {BitBlt, 0, -1, 4, false, 8, 2, false, false},
    {DibBitBlt, 0, -1, 4, false, 8, 2, true, false},
    {StretchBlt, 0, -1, 4, true, 12, 2, false, false},
    {DibStretchBlt, 0, -1, 4, true, 12, 2, true, false},
    {StretchDib, 0, 4, 6, true, 14, 0, true, true},
    {SetDiBitsToDevice, -1, 0, 6, false, 10, 0, true, true},
};

// A rectangle of words stored height, width, y, x.
struct Box
{
    qint16 x = 0, y = 0, w = 0, h = 0;
};

Box boxAt(QByteArrayView p, qsizetype at)
{
    return {s16(p, at + 6), s16(p, at + 4), s16(p, at + 2), s16(p, at)};
}

} // namespace

// BitBlt, StretchBlt, their DIB forms, StretchDib and SetDiBitsToDevice.
bool Parser::blit(quint16 function, QByteArrayView p)
{
    const auto *layout =
        std::find_if(std::begin(BlitLayouts), std::end(BlitLayouts),
                     [function](const BlitLayout &l) { return l.function == function; });
    if (layout == std::end(BlitLayouts))
        return true;
    // Without a bitmap the record is as long as its function number's high byte says.
    const bool noBitmap = p.size() == qsizetype((function >> 8) & 0xFF) * 2;
    const int gap = noBitmap ? layout->gap : 0;
    const qsizetype bitmapAt = recordType(function)->fixedBytes; // the record was that long
    if (p.size() < bitmapAt + gap)
        return malformed();
    const quint32 rop = layout->rop < 0 ? 0x00CC0020 : u32(p, layout->rop);
    const Box dst = boxAt(p, layout->dest + gap);
    const Box src = layout->sourceSized
                        ? boxAt(p, layout->source)
                        : Box{s16(p, layout->source + 2), s16(p, layout->source), dst.w, dst.h};
    drawing();
    const QPointF a = m_dc.mapping.map(QPointF(dst.x, dst.y));
    const QPointF b = m_dc.mapping.map(QPointF(dst.x + dst.w, dst.y + dst.h));
    const QRectF dest = QRectF(a, b).normalized();
    if (dest.isEmpty())
        return true;
    if (noBitmap || !ropUsesSource(rop)) {
        m_sink->patBlt(m_dc, dest, rop);
        return true;
    }
    QImage image;
    const quint16 colorUsage = layout->colorUsage < 0 ? 0 : u16(p, layout->colorUsage);
    if (!decodeBitmapParam(p.sliced(bitmapAt), colorUsage, layout->dib, &image))
        return false;
    if (image.isNull())
        return true;
    // A one-bit device bitmap has no colours of its own: it takes the text and background
    // colours, as a monochrome bitmap does on a colour device.
    if (!layout->dib && image.format() == QImage::Format_Mono)
        image.setColorTable({m_dc.textColor.rgb(), m_dc.bkColor.rgb()});
    // Mirror when the destination runs against the picture's axes.
    const bool flipX = (b.x() < a.x()) != (src.w < 0);
    const bool flipY = (b.y() < a.y()) != (src.h < 0);
    const qreal sx = std::min(src.x, qint16(src.x + src.w));
    qreal sy = std::min(src.y, qint16(src.y + src.h));
    const qreal sw = std::abs(src.w), sh = std::abs(src.h);
    if (layout->bottomUpSource && image.height() > 0)
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
