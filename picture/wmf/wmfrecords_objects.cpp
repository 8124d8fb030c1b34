// Records that make, select and delete the objects drawing takes: pens, brushes, fonts,
// palettes and regions.
#include "wmfrecords.h"

#include "wmftext.h"

#include <algorithm>

namespace wmf {

bool Parser::tooManyObjects()
{
    return fail(Reason::MetafileTooManyObjects, {QString::number(m_limits.maxObjects)});
}

bool Parser::createPenIndirect(quint16, QByteArrayView p)
{
    Pen pen;
    pen.style = u16(p, 0);
    pen.width = s16(p, 2);
    pen.color = colorRef(p, 6);
    if (addObject(pen) < 0)
        return tooManyObjects();
    return true;
}

bool Parser::createBrushIndirect(quint16, QByteArrayView p)
{
    Brush brush;
    brush.style = u16(p, 0);
    brush.color = colorRef(p, 2);
    brush.hatch = u16(p, 6);
    // A pattern brush made this way has no pattern with it: draw it solid.
    if (brush.style != BrushSolid && brush.style != BrushNull && brush.style != BrushHatched)
        brush.style = BrushSolid;
    if (addObject(brush) < 0)
        return tooManyObjects();
    return true;
}

// DibCreatePatternBrush and CreatePatternBrush.
bool Parser::createPatternBrush(quint16 function, QByteArrayView p)
{
    Brush brush;
    brush.style = BrushDibPattern;
    QImage image;
    if (function == DibCreatePatternBrush) {
        // A plain pattern brush carries an old device bitmap, the others a DIB.
        const bool dib = u16(p, 0) != BrushPattern;
        if (!decodeBitmapParam(p.sliced(4), u16(p, 2), dib, &image))
            return false;
    } else {
        // An old device bitmap: its header, reserved bytes, then the bits.
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
        return fail(Reason::MetafilePatternsTooLarge);
    if (addObject(brush) < 0)
        return tooManyObjects();
    m_heldPixels += held;
    return true;
}

bool Parser::createFontIndirect(quint16, QByteArrayView p)
{
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
    QByteArrayView face = p.sliced(18).first(std::min<qsizetype>(32, p.size() - 18));
    if (const qsizetype nul = face.indexOf('\0'); nul >= 0)
        face = face.first(nul);
    font.face = decodeText(face, font.charSet == 2 ? 0 : font.charSet, QString());
    if (addObject(font) < 0)
        return tooManyObjects();
    return true;
}

bool Parser::createPalette(quint16, QByteArrayView p)
{
    const qsizetype count = u16(p, 2);
    if (p.size() < 4 + 4 * count)
        return malformed();
    Palette palette;
    palette.colors.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        palette.colors.append(
            qRgb(quint8(p[4 + 4 * i]), quint8(p[5 + 4 * i]), quint8(p[6 + 4 * i])));
    if (addObject(palette) < 0)
        return tooManyObjects();
    return true;
}

bool Parser::createRegion(quint16, QByteArrayView p)
{
    const qsizetype n = p.size();
    // A region too short for its scans still takes its slot in the object table (later
    // records count on the numbering), empty.
    // The header holds its own size; writers disagree on whether the object count before
    // it takes two bytes or four, so the size tells where the scans start.
    const bool shortHeader = n >= 20 && u16(p, 6) == n && !(n >= 22 && u16(p, 8) == n);
    const qsizetype headerSize = shortHeader ? 20 : 22;
    const qsizetype scans = n >= headerSize ? u16(p, headerSize - 12) : 0;
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
                return fail(Reason::MetafileRegionTooComplex,
                            {QString::number(m_limits.maxRegionRects)});
        }
        at += 6 + 2 * count + 2; // and the count again
    }
    if (addObject(region) < 0)
        return tooManyObjects();
    return true;
}

bool Parser::selectObject(quint16, QByteArrayView p)
{
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

bool Parser::selectPalette(quint16, QByteArrayView p)
{
    if (const Object *o = object(u16(p, 0)))
        if (const Palette *palette = std::get_if<Palette>(o))
            m_dc.palette = *palette;
    return true;
}

bool Parser::deleteObject(quint16, QByteArrayView p)
{
    const quint16 index = u16(p, 0);
    if (index < m_objects.size() && m_objects[index]) {
        m_heldPixels -= heldPixels(*m_objects[index]);
        m_objects[index].reset();
        m_firstFree = std::min(m_firstFree, size_t(index));
    }
    return true;
}

bool Parser::selectClipRegion(quint16, QByteArrayView p)
{
    const Object *o = object(u16(p, 0));
    const Region *region = o ? std::get_if<Region>(o) : nullptr;
    if (region)
        setClip(deviceRegion(*region));
    else
        m_dc.clip.reset();
    return true;
}

} // namespace wmf
