// Metafile records to sink calls: the header, the walk over the records with its limits, the
// object table, and the table that hands each record to its handler (in
// wmfrecords_*.cpp). Every length and count is checked against the record.
#include "wmfrecords.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace wmf {

Parser::Parser(QByteArrayView data, const Limits &limits) : m_data(data), m_limits(limits) {}

bool Parser::fail(Reason reason, QStringList details)
{
    if (!m_refusal.isRefused())
        m_refusal = refused(reason, std::move(details));
    return false;
}

bool Parser::malformed()
{
    return fail(Reason::MetafileRecordCut, {QString::number(m_recordIndex)});
}

bool Parser::readHeader(Refusal *refusal)
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
        *refusal = refused(Reason::MetafileHeaderCut);
        return false;
    }
    const quint16 type = u16(m_data, at);
    const quint16 headerWords = u16(m_data, at + 2);
    if ((type != 1 && type != 2) || headerWords != 9) {
        *refusal = refused(Reason::MetafileHeaderWrong);
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

bool Parser::play(Sink &sink, const Mapping &start, bool playerFrame, Refusal *refusal)
{
    m_sink = &sink;
    m_dc = DeviceContext();
    m_dc.mapping = start;
    m_saved.clear();
    m_objects.assign(std::max<size_t>(m_header.objectCount, 1), std::nullopt);
    if (m_objects.size() > size_t(m_limits.maxObjects))
        m_objects.resize(size_t(m_limits.maxObjects));
    m_firstFree = 0;
    m_playerFrame = playerFrame;
    m_stats = {};
    m_refusal = {};
    m_heldPixels = 0;
    m_decodedPixels = 0;
    m_recordIndex = 0;

    qsizetype at = m_header.recordsStart;
    bool ok = true;
    while (ok && m_data.size() - at >= 6) {
        const quint32 words = u32(m_data, at);
        const quint16 function = u16(m_data, at + 4);
        ++m_recordIndex;
        if (function == Eof)
            break;
        if (words < 3) {
            ok = fail(Reason::MetafileRecordLength, {QString::number(m_recordIndex)});
            break;
        }
        if (qint64(words) * 2 > qint64(m_data.size() - at)) {
            ok = fail(Reason::MetafileRecordPastEnd, {QString::number(m_recordIndex)});
            break;
        }
        if (m_recordIndex > m_limits.maxRecords) {
            ok = fail(Reason::MetafileTooManyRecords, {QString::number(m_limits.maxRecords)});
            break;
        }
        ok = record(function, m_data.sliced(at + 6, qsizetype(words) * 2 - 6));
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
    if (!ok && refusal)
        *refusal = m_refusal;
    return ok;
}

constexpr Parser::RecordType Parser::RecordTypes[] = {
    {SaveDc, 0, &Parser::saveDc},
    {RealizePalette, 0, nullptr},
    {SetPalEntries, 0, nullptr},
    {CreatePalette, 4, &Parser::createPalette},
    {SetBkMode, 2, &Parser::setBkMode},
    {SetMapMode, 2, &Parser::setMapMode},
    {SetRop2, 2, &Parser::setRop2},
    {SetRelAbs, 0, nullptr},
    {SetPolyFillMode, 2, &Parser::setPolyFillMode},
    {SetStretchBltMode, 2, &Parser::setStretchBltMode},
    {SetTextCharExtra, 2, &Parser::setTextCharExtra},
    {RestoreDc, 2, &Parser::restoreDc},
    {InvertRegion, 2, &Parser::invertPaintRegion},
    {PaintRegion, 2, &Parser::invertPaintRegion},
    {SelectClipRegion, 2, &Parser::selectClipRegion},
    {SelectObject, 2, &Parser::selectObject},
    {SetTextAlign, 2, &Parser::setTextAlign},
    {ResizePalette, 0, nullptr},
    {DibCreatePatternBrush, 4, &Parser::createPatternBrush},
    {SetLayout, 0, nullptr},
    {DeleteObject, 2, &Parser::deleteObject},
    {CreatePatternBrush, 28, &Parser::createPatternBrush},
    {SetBkColor, 4, &Parser::setBkColor},
    {SetTextColor, 4, &Parser::setTextColor},
    {SetTextJustification, 4, &Parser::setTextJustification},
    {SetWindowOrg, 4, &Parser::setWindowOrg},
    {SetWindowExt, 4, &Parser::setWindowExt},
    {SetViewportOrg, 4, &Parser::setViewportOrg},
    {SetViewportExt, 4, &Parser::setViewportExt},
    {OffsetWindowOrg, 4, &Parser::offsetWindowOrg},
    {OffsetViewportOrg, 4, &Parser::offsetViewportOrg},
    {LineTo, 4, &Parser::lineTo},
    {MoveTo, 4, &Parser::moveTo},
    {OffsetClipRgn, 4, &Parser::offsetClipRgn},
    {FillRegion, 4, &Parser::fillFrameRegion},
    {SetMapperFlags, 0, nullptr},
    {SelectPalette, 2, &Parser::selectPalette},
    {CreatePenIndirect, 10, &Parser::createPenIndirect},
    {CreateFontIndirect, 18, &Parser::createFontIndirect},
    {CreateBrushIndirect, 8, &Parser::createBrushIndirect},
    {Polygon, 2, &Parser::poly},
    {Polyline, 2, &Parser::poly},
    {ScaleWindowExt, 8, &Parser::scaleExt},
    {ScaleViewportExt, 8, &Parser::scaleExt},
    {ExcludeClipRect, 8, &Parser::clipRect},
    {IntersectClipRect, 8, &Parser::clipRect},
    {Ellipse, 8, &Parser::box},
    {FloodFill, 8, &Parser::floodFill},
    {Rectangle, 8, &Parser::box},
    {SetPixel, 8, &Parser::setPixel},
    {FrameRegion, 8, &Parser::fillFrameRegion},
    {AnimatePalette, 0, nullptr},
    {TextOut, 2, &Parser::text},
    {PolyPolygon, 2, &Parser::polyPolygon},
    {ExtFloodFill, 10, &Parser::extFloodFill},
    {RoundRect, 12, &Parser::roundRect},
    {PatBlt, 12, &Parser::patBlt},
    {Escape, 0, nullptr},
    {CreateRegion, 0, &Parser::createRegion},
    {Arc, 16, &Parser::arc},
    {Pie, 16, &Parser::arc},
    {Chord, 16, &Parser::arc},
    {BitBlt, 16, &Parser::blit},
    {DibBitBlt, 16, &Parser::blit},
    {ExtTextOut, 8, &Parser::text},
    {StretchBlt, 20, &Parser::blit},
    {DibStretchBlt, 20, &Parser::blit},
    {SetDiBitsToDevice, 18, &Parser::blit},
    {StretchDib, 22, &Parser::blit},
};
const Parser::RecordType *Parser::recordType(quint16 function)
{
    static_assert(
        std::is_sorted(std::begin(RecordTypes), std::end(RecordTypes),
                       [](const auto &a, const auto &b) { return a.function < b.function; }),
        "the record table is kept in order of function number");
    const auto *found =
        std::lower_bound(std::begin(RecordTypes), std::end(RecordTypes), function,
                         [](const RecordType &type, quint16 f) { return type.function < f; });
    return found != std::end(RecordTypes) && found->function == function ? found : nullptr;
}

bool Parser::record(quint16 function, QByteArrayView params)
{
    // Escapes (comments, embedded EMF), palette animation and records we do not know are
    // skipped by their size.
    const RecordType *type = recordType(function);
    if (!type)
        return true;
    if (params.size() < type->fixedBytes)
        return malformed();
    return type->handler ? (this->*type->handler)(function, params) : true;
}

} // namespace wmf
