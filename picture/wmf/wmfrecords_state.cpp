// Records that set the device context: saved states, the mapping, colours and modes, clipping.
#include "wmfrecords.h"

#include <cmath>

namespace wmf {

namespace {

// A window or viewport extent, unless it is empty or too large to map by.
void mapExt(QSizeF &ext, qint64 x, qint64 y)
{
    if (x == 0 || y == 0 || std::abs(x) > (1 << 27) || std::abs(y) > (1 << 27))
        return;
    ext = QSizeF(x, y);
}

} // namespace

bool Parser::saveDc(quint16, QByteArrayView)
{
    if (m_saved.size() >= m_limits.maxSaveDepth)
        return fail(Reason::MetafileTooDeep, {QString::number(m_limits.maxSaveDepth)});
    m_saved.append(m_dc);
    return true;
}

bool Parser::restoreDc(quint16, QByteArrayView p)
{
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

bool Parser::setMapMode(quint16, QByteArrayView p)
{
    const quint16 mode = u16(p, 0);
    if (mode < 1 || mode > 8)
        return true;
    if (m_playerFrame && mode != quint16(MapMode::Isotropic) &&
        mode != quint16(MapMode::Anisotropic))
        return true; // the placeable frame decides the scale
    m_dc.mapping.mode = MapMode(mode);
    return true;
}

bool Parser::setWindowOrg(quint16, QByteArrayView p)
{
    m_dc.mapping.windowOrg = pointAt(p, 0);
    return true;
}

bool Parser::setWindowExt(quint16, QByteArrayView p)
{
    // A window of no width or height is refused, as the platform does: the window stays
    // as it was and the picture takes its size from elsewhere.
    if (s16(p, 0) == 0 || s16(p, 2) == 0)
        return true;
    mapExt(m_dc.mapping.windowExt, s16(p, 2), s16(p, 0));
    m_stats.windowExtSet = true;
    return true;
}

bool Parser::setViewportOrg(quint16, QByteArrayView p)
{
    if (!m_playerFrame)
        m_dc.mapping.viewportOrg = pointAt(p, 0);
    return true;
}

bool Parser::setViewportExt(quint16, QByteArrayView p)
{
    // A placeable frame already says where the picture goes.
    m_stats.viewportExtSet = true;
    if (!m_playerFrame)
        mapExt(m_dc.mapping.viewportExt, s16(p, 2), s16(p, 0));
    return true;
}

bool Parser::offsetWindowOrg(quint16, QByteArrayView p)
{
    m_dc.mapping.windowOrg += pointAt(p, 0);
    return true;
}

bool Parser::offsetViewportOrg(quint16, QByteArrayView p)
{
    if (!m_playerFrame)
        m_dc.mapping.viewportOrg += pointAt(p, 0);
    return true;
}

// ScaleWindowExt and ScaleViewportExt.
bool Parser::scaleExt(quint16 function, QByteArrayView p)
{
    Mapping &map = m_dc.mapping;
    const qint16 yDenom = s16(p, 0), yNum = s16(p, 2), xDenom = s16(p, 4), xNum = s16(p, 6);
    if (xDenom == 0 || yDenom == 0)
        return true;
    if (function == ScaleViewportExt && m_playerFrame)
        return true;
    QSizeF &ext = function == ScaleWindowExt ? map.windowExt : map.viewportExt;
    mapExt(ext, qint64(ext.width()) * xNum / xDenom, qint64(ext.height()) * yNum / yDenom);
    return true;
}

bool Parser::setBkColor(quint16, QByteArrayView p)
{
    m_dc.bkColor = colorRef(p, 0);
    return true;
}

bool Parser::setTextColor(quint16, QByteArrayView p)
{
    m_dc.textColor = colorRef(p, 0);
    return true;
}

bool Parser::setBkMode(quint16, QByteArrayView p)
{
    m_dc.bkMode = u16(p, 0) == BkOpaque ? BkOpaque : BkTransparent;
    return true;
}

bool Parser::setTextAlign(quint16, QByteArrayView p)
{
    m_dc.textAlign = u16(p, 0);
    return true;
}

bool Parser::setPolyFillMode(quint16, QByteArrayView p)
{
    m_dc.polyFillMode = u16(p, 0) == FillWinding ? FillWinding : FillAlternate;
    return true;
}

bool Parser::setRop2(quint16, QByteArrayView p)
{
    if (u16(p, 0) >= 1 && u16(p, 0) <= 16)
        m_dc.rop2 = u16(p, 0);
    return true;
}

bool Parser::setStretchBltMode(quint16, QByteArrayView p)
{
    m_dc.stretchBltMode = u16(p, 0);
    return true;
}

bool Parser::setTextCharExtra(quint16, QByteArrayView p)
{
    m_dc.textCharExtra = s16(p, 0);
    return true;
}

bool Parser::setTextJustification(quint16, QByteArrayView p)
{
    m_dc.breakCount = s16(p, 0);
    m_dc.breakExtra = s16(p, 2);
    return true;
}

// IntersectClipRect and ExcludeClipRect.
bool Parser::clipRect(quint16 function, QByteArrayView p)
{
    const QRect r = deviceRect(rectAt(p, 0));
    const QRegion current = m_dc.clip.value_or(QRegion(-(1 << 24), -(1 << 24), 1 << 25, 1 << 25));
    setClip(function == IntersectClipRect ? current.intersected(r) : current.subtracted(r));
    return true;
}

bool Parser::offsetClipRgn(quint16, QByteArrayView p)
{
    if (m_dc.clip) {
        const QPointF d = m_dc.mapping.mapSize(pointAt(p, 0));
        m_dc.clip->translate(qRound(d.x()), qRound(d.y()));
    }
    return true;
}

} // namespace wmf
