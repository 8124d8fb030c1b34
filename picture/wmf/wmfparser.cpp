// Metafile records to sink calls. Every length and count is checked against the record.
#include "wmfparser.h"

#include "wmfdib.h"
#include "wmftext.h"

#include <QLineF>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace wmf {

namespace {

enum Function : quint16 {
    Eof = 0x0000,
    RealizePalette = 0x0035,
    SetPalEntries = 0x0037,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    SetRelAbs = 0x0105,
    SetPolyFillMode = 0x0106,
    SetStretchBltMode = 0x0107,
    SetTextCharExtra = 0x0108,
    RestoreDc = 0x0127,
    ResizePalette = 0x0139,
    DibCreatePatternBrush = 0x0142,
    SetLayout = 0x0149,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    OffsetClipRgn = 0x0220,
    FillRegion = 0x0228,
    SetMapperFlags = 0x0231,
    SelectPalette = 0x0234,
    Polygon = 0x0324,
    Polyline = 0x0325,
    SetTextJustification = 0x020A,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    ScaleWindowExt = 0x0410,
    ScaleViewportExt = 0x0412,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    FloodFill = 0x0419,
    FrameRegion = 0x0429,
    AnimatePalette = 0x0436,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    ExtFloodFill = 0x0548,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    SaveDc = 0x001E,
    Pie = 0x081A,
    StretchBlt = 0x0B23,
    Escape = 0x0626,
    InvertRegion = 0x012A,
    PaintRegion = 0x012B,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    Arc = 0x0817,
    Chord = 0x0830,
    BitBlt = 0x0922,
    ExtTextOut = 0x0A32,
    SetDiBitsToDevice = 0x0D33,
    DibBitBlt = 0x0940,
    DibStretchBlt = 0x0B41,
    StretchDib = 0x0F43,
    DeleteObject = 0x01F0,
    CreatePalette = 0x00F7,
    CreatePatternBrush = 0x01F9,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    CreateRegion = 0x06FF,
};

quint16 u16(QByteArrayView d, qsizetype at)
{
    return quint16(quint8(d[at]) | (quint8(d[at + 1]) << 8));
}

qint16 s16(QByteArrayView d, qsizetype at) { return qint16(u16(d, at)); }

quint32 u32(QByteArrayView d, qsizetype at)
{
    return quint32(u16(d, at)) | (quint32(u16(d, at + 2)) << 16);
}

// Does a raster operation read the source bitmap?
bool ropUsesSource(quint32 rop) { return (((rop >> 2) ^ rop) & 0x330000) != 0; }

QString damaged(const QString &why) { return QStringLiteral("WMF 圖片檔已損壞：%1").arg(why); }

} // namespace

Parser::Parser(QByteArrayView data, const Limits &limits) : m_data(data), m_limits(limits) {}

bool Parser::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
    return false;
}

bool Parser::malformed()
{
    return fail(damaged(QStringLiteral("第 %1 筆記錄的內容不完整。").arg(m_recordIndex)));
}

bool Parser::late() const
{
    return m_clock.elapsed() > m_limits.maxMilliseconds;
}

bool Parser::tooSlow()
{
    return fail(QStringLiteral("WMF 圖片太複雜，無法在 %1 秒內畫完。")
                    .arg(std::max(0, m_limits.maxMilliseconds) / 1000.0));
}

bool Parser::afford(qint64 cost)
{
    if (m_canvas.isEmpty() || cost <= m_limits.maxRecordCost)
        return true;
    return fail(QStringLiteral("WMF 圖片的第 %1 筆記錄太複雜，畫起來太費時，無法顯示。")
                    .arg(m_recordIndex));
}

qreal Parser::penPixels() const
{
    if ((m_dc.pen.style & PenStyleMask) == PenNull)
        return 0;
    const qreal width = std::abs(m_dc.pen.width * m_dc.mapping.scaleX());
    return std::isfinite(width) ? std::max<qreal>(1, width) : 1e9;
}

// A stroke covers each segment's length plus a pen's width, a pen wide; a fill crosses as many
// scanlines as its edges span, and covers its bounds. Within the canvas, which clips the rest.
qint64 Parser::shapeCost(const QList<QPolygonF> &polygons, bool closed, bool fill) const
{
    if (m_canvas.isEmpty())
        return 0;
    const qreal w = m_canvas.width(), h = m_canvas.height();
    const qreal pen = penPixels();
    qreal cost = 0;
    QRectF bounds;
    for (const QPolygonF &points : polygons) {
        const qsizetype n = points.size();
        for (qsizetype i = closed ? 0 : 1; i < n; ++i) {
            const QPointF a = points[i == 0 ? n - 1 : i - 1], b = points[i];
            const qreal across = std::min(std::abs(b.x() - a.x()), w);
            const qreal down = std::min(std::abs(b.y() - a.y()), h);
            cost += (across + down + pen) * pen + (fill ? down : 0);
        }
        if (fill)
            bounds |= points.boundingRect();
    }
    if (fill)
        cost += boxCost(bounds, true);
    return qint64(std::min<qreal>(cost, 1e18));
}

qint64 Parser::boxCost(const QRectF &rect, bool fill) const
{
    if (m_canvas.isEmpty())
        return 0;
    const QRectF r = rect.normalized();
    const qreal across = std::min(r.width(), qreal(m_canvas.width()));
    const qreal down = std::min(r.height(), qreal(m_canvas.height()));
    const qreal pen = penPixels();
    const qreal cost = 2 * (across + down + 2 * pen) * pen + (fill ? across * down : 0);
    return std::isfinite(cost) ? qint64(std::min<qreal>(cost, 1e18)) : qint64(1e18);
}

bool Parser::readHeader(QString *error)
{
    m_header = {};
    qsizetype at = 0;
    if (m_data.size() >= 22 && u32(m_data, 0) == 0x9AC6CDD7) {
        m_header.placeable = true;
        m_header.left = s16(m_data, 6);
        m_header.top = s16(m_data, 8);
        m_header.right = s16(m_data, 10);
        m_header.bottom = s16(m_data, 12);
        m_header.unitsPerInch = u16(m_data, 14);
        at = 22;
    }
    if (m_data.size() < at + 18) {
        *error = damaged(QStringLiteral("檔頭不完整。"));
        return false;
    }
    const quint16 type = u16(m_data, at);
    const quint16 headerWords = u16(m_data, at + 2);
    if ((type != 1 && type != 2) || headerWords != 9) {
        *error = damaged(QStringLiteral("檔頭不正確。"));
        return false;
    }
    m_header.objectCount = u16(m_data, at + 10);
    m_header.recordsStart = at + 18;
    return true;
}

int Parser::addObject(Object object)
{
    // A new object takes the lowest free slot; slots below m_firstFree are all taken.
    for (size_t i = m_firstFree; i < m_objects.size(); ++i) {
        if (!m_objects[i]) {
            m_objects[i] = std::move(object);
            m_firstFree = i + 1;
            return int(i);
        }
    }
    m_firstFree = m_objects.size();
    if (m_objects.size() >= size_t(m_limits.maxObjects))
        return -1;
    m_objects.push_back(std::move(object));
    m_firstFree = m_objects.size();
    return int(m_objects.size() - 1);
}

const Parser::Object *Parser::object(quint16 index) const
{
    if (index >= m_objects.size() || !m_objects[index])
        return nullptr;
    return &*m_objects[index];
}

qint64 Parser::heldPixels(const Object &o) const
{
    if (const Brush *b = std::get_if<Brush>(&o))
        return qint64(b->pattern.width()) * b->pattern.height();
    return 0;
}

QColor Parser::colorRef(QByteArrayView p, qsizetype at) const
{
    const quint8 r = quint8(p[at]), g = quint8(p[at + 1]), b = quint8(p[at + 2]);
    if (quint8(p[at + 3]) == 0x01) { // an index into the selected palette
        const int index = r | (g << 8);
        if (index < m_dc.palette.colors.size())
            return QColor(m_dc.palette.colors[index]);
    }
    return QColor(r, g, b);
}

QRect Parser::deviceRect(const QRectF &logical) const
{
    const QRectF r = m_dc.mapping.mapRect(logical);
    return QRect(QPoint(qRound(r.left()), qRound(r.top())),
                 QPoint(qRound(r.right()) - 1, qRound(r.bottom()) - 1));
}

QRegion Parser::deviceRegion(const Region &region) const
{
    QRegion result;
    for (const QRect &r : region.rects)
        result += deviceRect(QRectF(r.left(), r.top(), r.width(), r.height()));
    return result;
}

QPainterPath Parser::regionPath(const Region &region) const
{
    QPainterPath path;
    path.addRegion(deviceRegion(region));
    return path;
}

void Parser::drawing()
{
    m_stats.drew = true;
    if (!m_stats.frameTaken && m_stats.windowExtSet) {
        m_stats.frameTaken = true;
        m_stats.frameWindowOrg = m_dc.mapping.windowOrg;
        m_stats.frameWindowExt = m_dc.mapping.windowExt;
        m_stats.frameViewportExt = m_dc.mapping.viewportExt;
        m_stats.frameMode = m_dc.mapping.mode;
    }
}

bool Parser::play(Sink &sink, const Mapping &start, bool playerFrame, QString *error)
{
    m_sink = &sink;
    m_dc = DeviceContext();
    m_dc.mapping = start;
    m_saved.clear();
    m_objects.assign(std::max<size_t>(m_header.objectCount, 1), std::nullopt);
    if (m_objects.size() > size_t(m_limits.maxObjects))
        m_objects.resize(size_t(m_limits.maxObjects));
    m_firstFree = 0;
    m_placeable = playerFrame;
    m_stats = {};
    m_error.clear();
    m_heldPixels = 0;
    m_decodedPixels = 0;
    m_recordIndex = 0;
    if (!m_clock.isValid())
        m_clock.start(); // one limit for all the passes over the records
    sink.setDeadline(
        QDeadlineTimer(std::max<qint64>(0, m_limits.maxMilliseconds - m_clock.elapsed())));

    qsizetype at = m_header.recordsStart;
    bool ok = true;
    while (ok && m_data.size() - at >= 6) {
        const quint32 words = u32(m_data, at);
        const quint16 function = u16(m_data, at + 4);
        ++m_recordIndex;
        if (function == Eof)
            break;
        if (words < 3) {
            ok = fail(damaged(QStringLiteral("第 %1 筆記錄的長度不正確。").arg(m_recordIndex)));
            break;
        }
        if (qint64(words) * 2 > qint64(m_data.size() - at)) {
            ok = fail(damaged(QStringLiteral("第 %1 筆記錄超出檔案結尾。").arg(m_recordIndex)));
            break;
        }
        if (m_recordIndex > m_limits.maxRecords) {
            ok = fail(QStringLiteral("WMF 圖片檔的記錄太多（超過 %1 筆），無法顯示。")
                          .arg(m_limits.maxRecords));
            break;
        }
        if (late()) {
            ok = tooSlow();
            break;
        }
        ok = record(function, m_data.sliced(at + 6, qsizetype(words) * 2 - 6));
        if (ok && late())
            ok = tooSlow(); // the sink stopped drawing this record part way
        at += qsizetype(words) * 2;
    }
    m_stats.records = m_recordIndex;
    if (!m_stats.frameTaken && m_stats.windowExtSet) {
        m_stats.frameTaken = true;
        m_stats.frameWindowOrg = m_dc.mapping.windowOrg;
        m_stats.frameWindowExt = m_dc.mapping.windowExt;
        m_stats.frameViewportExt = m_dc.mapping.viewportExt;
        m_stats.frameMode = m_dc.mapping.mode;
    }
    m_objects.clear();
    m_saved.clear();
    m_sink = nullptr;
    if (!ok && error)
        *error = m_error;
    return ok;
}

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
        return fail(QStringLiteral(
                        "WMF 圖片檔中的點陣圖太大（一張最多 %1 百萬像素，全部最多 %2 百萬像素）。")
                        .arg(m_limits.maxBitmapPixels / (1024LL * 1024))
                        .arg(m_limits.maxDecodedPixels / (1024LL * 1024)));
    case DibStatus::Malformed:
        break;
    }
    // A broken bitmap inside a well-formed record: drawn as nothing, the rest still shows.
    *out = QImage();
    return true;
}

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

bool Parser::text(QByteArrayView p, bool extended)
{
    qint16 x = 0, y = 0;
    quint16 options = 0;
    QByteArrayView bytes;
    QRectF clipRect;
    QList<qint16> dx, dy;
    if (!extended) {
        if (p.size() < 2)
            return malformed();
        const qsizetype length = u16(p, 0);
        const qsizetype padded = length + (length & 1);
        if (p.size() < 2 + padded + 4)
            return malformed();
        bytes = p.sliced(2, length);
        y = s16(p, 2 + padded);
        x = s16(p, 4 + padded);
    } else {
        if (p.size() < 8)
            return malformed();
        y = s16(p, 0);
        x = s16(p, 2);
        const qsizetype length = u16(p, 4);
        options = u16(p, 6);
        qsizetype at = 8;
        if (options & (TextOpaque | TextClipped)) {
            if (p.size() < at + 8)
                return malformed();
            clipRect = m_dc.mapping.mapRect(
                QRectF(QPointF(s16(p, 8), s16(p, 10)), QPointF(s16(p, 12), s16(p, 14))));
            at += 8;
        }
        if (p.size() < at + length)
            return malformed();
        bytes = p.sliced(at, length);
        at += length + (length & 1);
        if (options & TextPairs) {
            // The spacing array holds (across, up) pairs.
            if (length > 0 && p.size() >= at + 4 * length) {
                for (qsizetype i = 0; i < length; ++i) {
                    dx.append(s16(p, at + 4 * i));
                    dy.append(s16(p, at + 4 * i + 2));
                }
            }
        } else if (length > 0 && p.size() >= at + 2 * length) {
            dx.reserve(length);
            for (qsizetype i = 0; i < length; ++i)
                dx.append(s16(p, at + 2 * i));
        }
    }
    drawing();
    if (bytes.isEmpty() && !(options & TextOpaque))
        return true;

    const Font &font = m_dc.font;
    const Mapping &map = m_dc.mapping;
    TextRun run;
    QList<int> byteCounts;
    run.text = decodeText(bytes, font.charSet, font.face, &byteCounts);
    const qreal sx = std::abs(map.scaleX()), sy = std::abs(map.scaleY());
    const bool useCp = m_dc.textAlign & AlignUpdateCp;
    run.reference = map.map(useCp ? m_dc.currentPosition : QPointF(x, y));
    qreal risen = 0; // logical units, up the text
    if (!dx.isEmpty() && byteCounts.size() == run.text.size()) {
        qsizetype b = 0;
        for (int count : byteCounts) {
            qreal advance = 0;
            if (!dy.isEmpty())
                run.rises.append(risen * sy);
            for (int k = 0; k < count && b < dx.size(); ++k, ++b) {
                advance += dx[b];
                if (!dy.isEmpty())
                    risen += dy[b];
            }
            run.advances.append(advance * sx);
        }
    }
    if (options & TextGlyphIndices)
        run.text.clear(); // indices into a font we do not have: only the background shows
    run.extraPerChar = m_dc.textCharExtra * sx;
    if (m_dc.breakCount > 0)
        run.extraPerBreak = m_dc.breakExtra * sx / m_dc.breakCount;
    run.align = m_dc.textAlign;
    run.options = options;
    run.rect = clipRect;
    if (font.height == 0) {
        run.emPixels = -12.0 * 96.0 / 72.0; // the usual 12 points
    } else {
        run.emPixels = font.height * sy; // sign kept: the sink knows cell from character height
        if (font.height < 0)
            run.emPixels = -std::abs(run.emPixels);
    }
    run.widthPixels = std::abs(font.width) * sx;
    run.angle = font.escapement / 10.0; // counter-clockwise as seen, whichever way y grows
    run.family = familyFor(font.face, font.charSet, font.pitchAndFamily);
    run.weight = font.weight <= 0 ? 400 : std::clamp<int>(font.weight, 100, 900);
    run.italic = font.italic;
    run.underline = font.underline;
    run.strikeOut = font.strikeOut;
    if (!m_canvas.isEmpty()) {
        // Each glyph costs its box, as far as the canvas goes.
        const qreal em = std::abs(run.emPixels);
        const qreal glyph = std::min(em * std::max(em, run.widthPixels),
                                     qreal(m_canvas.width()) * m_canvas.height());
        const qreal cost =
            glyph * run.text.size() + (options & TextOpaque ? boxCost(clipRect, true) : 0);
        if (!afford(std::isfinite(cost) ? qint64(std::min<qreal>(cost, 1e18)) : qint64(1e18)))
            return false;
    }
    const qreal advance = m_sink->text(m_dc, run);
    if (useCp && sx > 0) {
        // The metafile's own spacing, when it gives one, says exactly how far the text went.
        qreal logical = advance / sx;
        if (!dx.isEmpty())
            logical = std::accumulate(dx.begin(), dx.end(), 0.0);
        m_dc.currentPosition.rx() += map.scaleX() < 0 ? -logical : logical;
        m_dc.currentPosition.ry() += map.scaleY() < 0 ? risen : -risen;
    }
    return true;
}

namespace {

// The bytes of fixed parameters a record must carry before any of them is read; records
// whose length depends on their content check the rest where they read it.
qsizetype fixedParameterBytes(quint16 function)
{
    switch (function) {
    case DeleteObject:
    case InvertRegion:
    case PaintRegion:
    case PolyPolygon:
    case Polygon:
    case Polyline:
    case RestoreDc:
    case SelectClipRegion:
    case SelectObject:
    case SelectPalette:
    case SetBkMode:
    case SetMapMode:
    case SetPolyFillMode:
    case SetRop2:
    case SetStretchBltMode:
    case SetTextAlign:
    case SetTextCharExtra:
        return 2;
    case CreatePalette:
    case LineTo:
    case MoveTo:
    case OffsetClipRgn:
    case OffsetViewportOrg:
    case OffsetWindowOrg:
    case SetBkColor:
    case SetTextColor:
    case SetTextJustification:
    case SetViewportExt:
    case SetViewportOrg:
    case SetWindowExt:
    case SetWindowOrg:
        return 4;
    case CreateBrushIndirect:
    case Ellipse:
    case ExcludeClipRect:
    case FloodFill:
    case IntersectClipRect:
    case Rectangle:
    case ScaleViewportExt:
    case ScaleWindowExt:
    case SetPixel:
        return 8;
    case CreatePenIndirect:
    case ExtFloodFill:
        return 10;
    case PatBlt:
    case RoundRect:
        return 12;
    case Arc:
    case Chord:
    case Pie:
        return 16;
    case CreateFontIndirect:
        return 18;
    default:
        return 0;
    }
}

} // namespace

bool Parser::record(quint16 function, QByteArrayView p)
{
    const qsizetype n = p.size();
    auto need = [&](qsizetype bytes) { return n >= bytes; };
    Mapping &map = m_dc.mapping;
    auto point = [&](qsizetype at) { return QPointF(s16(p, at + 2), s16(p, at)); }; // y, x
    // Left, top, right, bottom stored backwards: bottom, right, top, left.
    auto rectAt = [&](qsizetype at) {
        return QRectF(QPointF(s16(p, at + 6), s16(p, at + 4)), QPointF(s16(p, at + 2), s16(p, at)));
    };
    auto mapExt = [&](QSizeF &ext, qint64 x, qint64 y) {
        if (x == 0 || y == 0 || std::abs(x) > (1 << 27) || std::abs(y) > (1 << 27))
            return;
        ext = QSizeF(x, y);
    };

    if (!need(fixedParameterBytes(function)))
        return malformed();

    switch (function) {
    case SaveDc:
        if (m_saved.size() >= m_limits.maxSaveDepth)
            return fail(QStringLiteral("WMF 圖片檔儲存繪圖狀態的層數太多（超過 %1 層）。")
                            .arg(m_limits.maxSaveDepth));
        m_saved.append(m_dc);
        return true;
    case RestoreDc: {
        const qint16 level = s16(p, 0);
        qsizetype target = -1; // index in m_saved to restore
        if (level < 0 && -qsizetype(level) <= m_saved.size())
            target = m_saved.size() + level;
        else if (level > 0 && level <= m_saved.size())
            target = level - 1;
        if (target >= 0) {
            m_dc = m_saved[target];
            m_saved.resize(target);
        }
        return true;
    }
    case SetMapMode: {
        const quint16 mode = u16(p, 0);
        if (mode < 1 || mode > 8)
            return true;
        if (m_placeable && mode != quint16(MapMode::Isotropic) &&
            mode != quint16(MapMode::Anisotropic))
            return true; // the placeable frame decides the scale
        map.mode = MapMode(mode);
        return true;
    }
    case SetWindowOrg:
        map.windowOrg = point(0);
        return true;
    case SetWindowExt:
        // A window of no width or height is refused, as the platform does: the window stays
        // as it was and the picture takes its size from elsewhere.
        if (s16(p, 0) == 0 || s16(p, 2) == 0)
            return true;
        mapExt(map.windowExt, s16(p, 2), s16(p, 0));
        m_stats.windowExtSet = true;
        return true;
    case SetViewportOrg:
        if (!m_placeable)
            map.viewportOrg = point(0);
        return true;
    case SetViewportExt:
        // A placeable frame already says where the picture goes.
        m_stats.viewportExtSet = true;
        if (!m_placeable)
            mapExt(map.viewportExt, s16(p, 2), s16(p, 0));
        return true;
    case OffsetWindowOrg:
        map.windowOrg += point(0);
        return true;
    case OffsetViewportOrg:
        if (!m_placeable)
            map.viewportOrg += point(0);
        return true;
    case ScaleWindowExt:
    case ScaleViewportExt: {
        const qint16 yDenom = s16(p, 0), yNum = s16(p, 2), xDenom = s16(p, 4), xNum = s16(p, 6);
        if (xDenom == 0 || yDenom == 0)
            return true;
        if (function == ScaleViewportExt && m_placeable)
            return true;
        QSizeF &ext = function == ScaleWindowExt ? map.windowExt : map.viewportExt;
        mapExt(ext, qint64(ext.width()) * xNum / xDenom, qint64(ext.height()) * yNum / yDenom);
        return true;
    }
    case SetBkColor:
        m_dc.bkColor = colorRef(p, 0);
        return true;
    case SetTextColor:
        m_dc.textColor = colorRef(p, 0);
        return true;
    case SetBkMode:
        m_dc.bkMode = u16(p, 0) == BkOpaque ? BkOpaque : BkTransparent;
        return true;
    case SetTextAlign:
        m_dc.textAlign = u16(p, 0);
        return true;
    case SetPolyFillMode:
        m_dc.polyFillMode = u16(p, 0) == 2 ? 2 : 1;
        return true;
    case SetRop2:
        if (u16(p, 0) >= 1 && u16(p, 0) <= 16)
            m_dc.rop2 = u16(p, 0);
        return true;
    case SetStretchBltMode:
        m_dc.stretchBltMode = u16(p, 0);
        return true;
    case SetTextCharExtra:
        m_dc.textCharExtra = s16(p, 0);
        return true;
    case SetTextJustification:
        m_dc.breakCount = s16(p, 0);
        m_dc.breakExtra = s16(p, 2);
        return true;

    case CreatePenIndirect: {
        Pen pen;
        pen.style = u16(p, 0);
        pen.width = s16(p, 2);
        pen.color = colorRef(p, 6);
        if (addObject(pen) < 0)
            break;
        return true;
    }
    case CreateBrushIndirect: {
        Brush brush;
        brush.style = u16(p, 0);
        brush.color = colorRef(p, 2);
        brush.hatch = u16(p, 6);
        // A pattern brush made this way has no pattern with it: draw it solid.
        if (brush.style != BrushSolid && brush.style != BrushNull && brush.style != BrushHatched)
            brush.style = BrushSolid;
        if (addObject(brush) < 0)
            break;
        return true;
    }
    case DibCreatePatternBrush:
    case CreatePatternBrush: {
        Brush brush;
        brush.style = BrushDibPattern;
        QImage image;
        if (function == DibCreatePatternBrush) {
            if (!need(4))
                return malformed();
            // A plain pattern brush carries an old device bitmap, the others a DIB.
            const bool dib = u16(p, 0) != BrushPattern;
            if (!decodeBitmapParam(p.sliced(4), u16(p, 2), dib, &image))
                return false;
        } else {
            // An old device bitmap: its header, reserved bytes, then the bits.
            if (!need(28))
                return malformed();
            QByteArray packed = p.first(10).toByteArray();
            packed += p.sliced(28).toByteArray();
            if (!decodeBitmapParam(packed, 0, false, &image))
                return false;
        }
        if (image.isNull()) {
            brush.style = BrushSolid;
            brush.color = Qt::gray;
        }
        brush.pattern = image;
        const qint64 held = heldPixels(brush);
        if (m_heldPixels + held > m_limits.maxHeldBitmapPixels)
            return fail(QStringLiteral("WMF 圖片檔中的圖樣筆刷太多太大。"));
        if (addObject(brush) < 0)
            break;
        m_heldPixels += held;
        return true;
    }
    case CreateFontIndirect: {
        Font font;
        font.height = s16(p, 0);
        font.width = s16(p, 2);
        font.escapement = s16(p, 4);
        font.weight = s16(p, 8);
        font.italic = p[10] != 0;
        font.underline = p[11] != 0;
        font.strikeOut = p[12] != 0;
        font.charSet = quint8(p[13]);
        font.pitchAndFamily = quint8(p[17]);
        QByteArrayView face = p.sliced(18).first(std::min<qsizetype>(32, n - 18));
        if (const qsizetype nul = face.indexOf('\0'); nul >= 0)
            face = face.first(nul);
        font.face = decodeText(face, font.charSet == 2 ? 0 : font.charSet, QString());
        if (addObject(font) < 0)
            break;
        return true;
    }
    case CreatePalette: {
        const qsizetype count = u16(p, 2);
        if (n < 4 + 4 * count)
            return malformed();
        Palette palette;
        palette.colors.reserve(count);
        for (qsizetype i = 0; i < count; ++i)
            palette.colors.append(
                qRgb(quint8(p[4 + 4 * i]), quint8(p[5 + 4 * i]), quint8(p[6 + 4 * i])));
        if (addObject(palette) < 0)
            break;
        return true;
    }
    case CreateRegion: {
        // A region too short for its scans still takes its slot in the object table (later
        // records count on the numbering), empty.
        // The header holds its own size; writers disagree on whether the object count before
        // it takes two bytes or four, so the size tells where the scans start.
        const bool shortHeader = need(20) && u16(p, 6) == n && !(need(22) && u16(p, 8) == n);
        const qsizetype headerSize = shortHeader ? 20 : 22;
        const qsizetype scans = need(headerSize) ? u16(p, headerSize - 12) : 0;
        Region region;
        qsizetype at = headerSize;
        for (qsizetype s = 0; s < scans; ++s) {
            if (n < at + 6)
                break;
            const qsizetype count = u16(p, at);
            const qint16 top = s16(p, at + 2), bottom = s16(p, at + 4);
            if (n < at + 6 + 2 * count)
                break;
            for (qsizetype i = 0; i + 1 < count; i += 2) {
                const qint16 left = s16(p, at + 6 + 2 * i), right = s16(p, at + 8 + 2 * i);
                if (right > left && bottom > top)
                    region.rects.append(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
                if (region.rects.size() > m_limits.maxRegionRects)
                    return fail(QStringLiteral("WMF 圖片檔中的區域太複雜（最多 %1 個矩形）。")
                                    .arg(m_limits.maxRegionRects));
            }
            at += 6 + 2 * count + 2; // and the count again
        }
        if (addObject(region) < 0)
            break;
        return true;
    }
    case SelectObject: {
        const Object *o = object(u16(p, 0));
        if (!o)
            return true;
        if (const Pen *pen = std::get_if<Pen>(o))
            m_dc.pen = *pen;
        else if (const Brush *brush = std::get_if<Brush>(o))
            m_dc.brush = *brush;
        else if (const Font *font = std::get_if<Font>(o))
            m_dc.font = *font;
        else if (const Palette *palette = std::get_if<Palette>(o))
            m_dc.palette = *palette;
        else if (const Region *region = std::get_if<Region>(o))
            setClip(deviceRegion(*region));
        return true;
    }
    case SelectPalette: {
        if (const Object *o = object(u16(p, 0)))
            if (const Palette *palette = std::get_if<Palette>(o))
                m_dc.palette = *palette;
        return true;
    }
    case DeleteObject: {
        const quint16 index = u16(p, 0);
        if (index < m_objects.size() && m_objects[index]) {
            m_heldPixels -= heldPixels(*m_objects[index]);
            m_objects[index].reset();
            m_firstFree = std::min(m_firstFree, size_t(index));
        }
        return true;
    }
    case SelectClipRegion: {
        const Object *o = object(u16(p, 0));
        const Region *region = o ? std::get_if<Region>(o) : nullptr;
        if (region)
            setClip(deviceRegion(*region));
        else
            m_dc.clip.reset();
        return true;
    }
    case IntersectClipRect:
    case ExcludeClipRect: {
        const QRect r = deviceRect(rectAt(0));
        const QRegion current =
            m_dc.clip.value_or(QRegion(-(1 << 24), -(1 << 24), 1 << 25, 1 << 25));
        setClip(function == IntersectClipRect ? current.intersected(r) : current.subtracted(r));
        return true;
    }
    case OffsetClipRgn: {
        if (m_dc.clip) {
            const QPointF d = map.mapSize(point(0));
            m_dc.clip->translate(qRound(d.x()), qRound(d.y()));
        }
        return true;
    }

    case MoveTo:
        m_dc.currentPosition = point(0);
        return true;
    case LineTo: {
        drawing();
        const QPointF to = point(0);
        m_sink->polyline(m_dc, QPolygonF({map.map(m_dc.currentPosition), map.map(to)}));
        m_dc.currentPosition = to;
        return true;
    }
    case Polyline:
    case Polygon: {
        const qsizetype count = u16(p, 0);
        if (n < 2 + 4 * count)
            return malformed();
        drawing();
        QPolygonF points;
        points.reserve(count);
        for (qsizetype i = 0; i < count; ++i) {
            if (i % 4096 == 4095 && late())
                return tooSlow();
            points.append(map.map(QPointF(s16(p, 2 + 4 * i), s16(p, 4 + 4 * i))));
        }
        if (!afford(shapeCost({points}, function == Polygon, function == Polygon)))
            return false;
        if (function == Polyline) {
            if (count >= 2)
                m_sink->polyline(m_dc, points);
        } else if (count >= 2) {
            m_sink->polygons(m_dc, {points});
        }
        return true;
    }
    case PolyPolygon: {
        const qsizetype polygons = u16(p, 0);
        if (n < 2 + 2 * polygons)
            return malformed();
        qsizetype total = 0;
        for (qsizetype i = 0; i < polygons; ++i)
            total += u16(p, 2 + 2 * i);
        qsizetype at = 2 + 2 * polygons;
        if (n < at + 4 * total)
            return malformed();
        if (total > m_limits.maxPoints)
            return fail(QStringLiteral("WMF 圖片檔中的多邊形太複雜（一筆記錄最多 %1 個點）。")
                            .arg(m_limits.maxPoints));
        drawing();
        QList<QPolygonF> list;
        for (qsizetype i = 0; i < polygons; ++i) {
            const qsizetype count = u16(p, 2 + 2 * i);
            QPolygonF points;
            points.reserve(count);
            for (qsizetype k = 0; k < count; ++k, at += 4) {
                if (k % 4096 == 4095 && late())
                    return tooSlow();
                points.append(map.map(QPointF(s16(p, at), s16(p, at + 2))));
            }
            if (count >= 2)
                list.append(points);
        }
        if (!afford(shapeCost(list, true, true)))
            return false;
        if (!list.isEmpty())
            m_sink->polygons(m_dc, list);
        return true;
    }
    case Rectangle:
    case Ellipse: {
        drawing();
        const QRectF r = map.mapRect(rectAt(0));
        if (!afford(boxCost(r, true)))
            return false;
        if (function == Rectangle)
            m_sink->rectangle(m_dc, r);
        else
            m_sink->ellipse(m_dc, r);
        return true;
    }
    case RoundRect: {
        drawing();
        const QPointF corner = map.mapSize(QPointF(s16(p, 2), s16(p, 0)));
        if (!afford(boxCost(map.mapRect(rectAt(4)), true)))
            return false;
        m_sink->roundRect(m_dc, map.mapRect(rectAt(4)),
                          QSizeF(std::abs(corner.x()), std::abs(corner.y())));
        return true;
    }
    case Arc:
    case Pie:
    case Chord: {
        drawing();
        const QRectF r = map.mapRect(rectAt(8));
        if (r.width() <= 0 || r.height() <= 0)
            return true;
        if (!afford(boxCost(r, function != Arc)))
            return false;
        const QPointF c = r.center();
        auto angleOf = [&](QPointF logical) {
            const QPointF d = map.map(logical) - c;
            return qRadiansToDegrees(std::atan2(-d.y() / r.height(), d.x() / r.width()));
        };
        const QPointF startPoint = point(4), endPoint = point(0);
        qreal start = angleOf(startPoint);
        if (start < 0)
            start += 360; // atan2 gives -180 for a point straight left of -0.0 height
        qreal sweep = angleOf(endPoint) - start;
        while (sweep <= 0)
            sweep += 360;
        if (startPoint == endPoint)
            sweep = 360;
        const ArcKind kind =
            function == Arc ? ArcKind::Arc : (function == Pie ? ArcKind::Pie : ArcKind::Chord);
        m_sink->arc(m_dc, kind, r, start, sweep);
        return true;
    }
    case SetPixel:
        drawing();
        m_sink->setPixel(m_dc, map.map(point(4)), colorRef(p, 0));
        return true;
    case FloodFill:
        drawing();
        // Some writers put ExtFloodFill's mode word in front: the colour and point are the
        // last eight bytes either way.
        m_sink->floodFill(m_dc, map.map(point(n - 4)), colorRef(p, n - 8), false);
        return true;
    case ExtFloodFill:
        drawing();
        m_sink->floodFill(m_dc, map.map(point(6)), colorRef(p, 2), u16(p, 0) == 1);
        return true;
    case PatBlt: {
        drawing();
        const QPointF a = map.map(point(8));
        const QPointF b = map.map(point(8) + QPointF(s16(p, 6), s16(p, 4)));
        m_sink->patBlt(m_dc, QRectF(a, b).normalized(), u32(p, 0));
        return true;
    }
    case TextOut:
        return text(p, false);
    case ExtTextOut:
        return text(p, true);
    case FillRegion:
    case FrameRegion: {
        if (!need(function == FillRegion ? 4 : 8))
            return malformed();
        const Object *ro = object(u16(p, 0));
        const Object *bo = object(u16(p, 2));
        const Region *region = ro ? std::get_if<Region>(ro) : nullptr;
        const Brush *brush = bo ? std::get_if<Brush>(bo) : nullptr;
        if (!region || !brush)
            return true;
        drawing();
        if (function == FillRegion) {
            m_sink->fillPath(m_dc, regionPath(*region), *brush);
        } else {
            const QPointF frame = map.mapSize(QPointF(s16(p, 6), s16(p, 4)));
            m_sink->framePath(m_dc, regionPath(*region), *brush,
                              QSizeF(std::abs(frame.x()), std::abs(frame.y())));
        }
        return true;
    }
    case InvertRegion:
    case PaintRegion: {
        const Object *ro = object(u16(p, 0));
        const Region *region = ro ? std::get_if<Region>(ro) : nullptr;
        if (!region)
            return true;
        drawing();
        if (function == InvertRegion)
            m_sink->invertPath(m_dc, regionPath(*region));
        else
            m_sink->fillPath(m_dc, regionPath(*region), m_dc.brush);
        return true;
    }
    case BitBlt:
    case StretchBlt:
    case DibBitBlt:
    case DibStretchBlt:
    case StretchDib:
    case SetDiBitsToDevice:
        return blit(function, p);

    default:
        // Escapes (comments, embedded EMF), palette animation and records we do not know
        // are skipped by their size.
        return true;
    }
    return fail(QStringLiteral("WMF 圖片檔的物件太多（超過 %1 個）。").arg(m_limits.maxObjects));
}

} // namespace wmf
