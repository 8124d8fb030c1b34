// Records that draw lines, shapes, pixels and regions.
#include "wmfrecords.h"

#include <QtMath>

#include <cmath>

namespace wmf {

bool Parser::moveTo(quint16, QByteArrayView p)
{
    m_dc.currentPosition = pointAt(p, 0);
    return true;
}

bool Parser::lineTo(quint16, QByteArrayView p)
{
    const Mapping &map = m_dc.mapping;
    drawing();
    const QPointF to = pointAt(p, 0);
    m_sink->polyline(m_dc, QPolygonF({map.map(m_dc.currentPosition), map.map(to)}));
    m_dc.currentPosition = to;
    return true;
}

// Polyline and Polygon.
bool Parser::poly(quint16 function, QByteArrayView p)
{
    const Mapping &map = m_dc.mapping;
    const qsizetype count = u16(p, 0);
    if (p.size() < 2 + 4 * count)
        return malformed();
    drawing();
    QPolygonF points;
    points.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        points.append(map.map(QPointF(s16(p, 2 + 4 * i), s16(p, 4 + 4 * i))));
    if (function == Polyline) {
        if (count >= 2)
            m_sink->polyline(m_dc, points);
    } else if (count >= 2) {
        m_sink->polygons(m_dc, {points});
    }
    return true;
}

bool Parser::polyPolygon(quint16, QByteArrayView p)
{
    const Mapping &map = m_dc.mapping;
    const qsizetype n = p.size();
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
        return fail(Reason::MetafilePolygonTooComplex, {QString::number(m_limits.maxPoints)});
    drawing();
    QList<QPolygonF> list;
    for (qsizetype i = 0; i < polygons; ++i) {
        const qsizetype count = u16(p, 2 + 2 * i);
        QPolygonF points;
        points.reserve(count);
        for (qsizetype k = 0; k < count; ++k, at += 4)
            points.append(map.map(QPointF(s16(p, at), s16(p, at + 2))));
        if (count >= 2)
            list.append(points);
    }
    if (!list.isEmpty())
        m_sink->polygons(m_dc, list);
    return true;
}

// Rectangle and Ellipse.
bool Parser::box(quint16 function, QByteArrayView p)
{
    drawing();
    const QRectF r = m_dc.mapping.mapRect(rectAt(p, 0));
    if (function == Rectangle)
        m_sink->rectangle(m_dc, r);
    else
        m_sink->ellipse(m_dc, r);
    return true;
}

bool Parser::roundRect(quint16, QByteArrayView p)
{
    const Mapping &map = m_dc.mapping;
    drawing();
    const QPointF corner = map.mapSize(QPointF(s16(p, 2), s16(p, 0)));
    m_sink->roundRect(m_dc, map.mapRect(rectAt(p, 4)),
                      QSizeF(std::abs(corner.x()), std::abs(corner.y())));
    return true;
}

// Arc, Pie and Chord.
bool Parser::arc(quint16 function, QByteArrayView p)
{
    const Mapping &map = m_dc.mapping;
    drawing();
    const QRectF r = map.mapRect(rectAt(p, 8));
    if (r.width() <= 0 || r.height() <= 0)
        return true;
    const QPointF c = r.center();
    auto angleOf = [&](QPointF logical) {
        const QPointF d = map.map(logical) - c;
        return qRadiansToDegrees(std::atan2(-d.y() / r.height(), d.x() / r.width()));
    };
    const QPointF startPoint = pointAt(p, 4), endPoint = pointAt(p, 0);
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

bool Parser::setPixel(quint16, QByteArrayView p)
{
    drawing();
    m_sink->setPixel(m_dc, m_dc.mapping.map(pointAt(p, 4)), colorRef(p, 0));
    return true;
}

bool Parser::floodFill(quint16, QByteArrayView p)
{
    const qsizetype n = p.size();
    drawing();
    // Some writers put ExtFloodFill's mode word in front: the colour and point are the
    // last eight bytes either way.
    m_sink->floodFill(m_dc, m_dc.mapping.map(pointAt(p, n - 4)), colorRef(p, n - 8), false);
    return true;
}

bool Parser::extFloodFill(quint16, QByteArrayView p)
{
    drawing();
    m_sink->floodFill(m_dc, m_dc.mapping.map(pointAt(p, 6)), colorRef(p, 2), u16(p, 0) == 1);
    return true;
}

bool Parser::patBlt(quint16, QByteArrayView p)
{
    const Mapping &map = m_dc.mapping;
    drawing();
    const QPointF a = map.map(pointAt(p, 8));
    const QPointF b = map.map(pointAt(p, 8) + QPointF(s16(p, 6), s16(p, 4)));
    m_sink->patBlt(m_dc, QRectF(a, b).normalized(), u32(p, 0));
    return true;
}

// FillRegion and FrameRegion.
bool Parser::fillFrameRegion(quint16 function, QByteArrayView p)
{
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
        const QPointF frame = m_dc.mapping.mapSize(QPointF(s16(p, 6), s16(p, 4)));
        m_sink->framePath(m_dc, regionPath(*region), *brush,
                          QSizeF(std::abs(frame.x()), std::abs(frame.y())));
    }
    return true;
}

// InvertRegion and PaintRegion.
bool Parser::invertPaintRegion(quint16 function, QByteArrayView p)
{
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

} // namespace wmf
