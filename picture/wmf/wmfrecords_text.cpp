// Records that draw text.
#include "wmfrecords.h"

#include "wmftext.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

namespace wmf {

namespace {

// What a text record holds, the clipping rectangle in logical units.
struct TextRecord
{
    qint16 x = 0, y = 0;
    quint16 options = 0;
    QByteArrayView bytes;
    std::optional<QRectF> clip; // when the options ask for one
    QList<qint16> dx, dy;       // the spacing the metafile gives, if any
};

// TextOut: the string's length, the string, y and x. False when the record is too short.
bool readTextOut(QByteArrayView p, TextRecord *t)
{
    const qsizetype length = u16(p, 0);
    const qsizetype padded = length + (length & 1);
    if (p.size() < 2 + padded + 4)
        return false;
    t->bytes = p.sliced(2, length);
    t->y = s16(p, 2 + padded);
    t->x = s16(p, 4 + padded);
    return true;
}

// ExtTextOut: y, x, the length, the options, the rectangle when they ask for one, the string,
// and the spacing when the record is long enough for it (across, or across and up in pairs).
bool readExtTextOut(QByteArrayView p, TextRecord *t)
{
    t->y = s16(p, 0);
    t->x = s16(p, 2);
    const qsizetype length = u16(p, 4);
    t->options = u16(p, 6);
    qsizetype at = 8;
    if (t->options & (TextOpaque | TextClipped)) {
        if (p.size() < at + 8)
            return false;
        t->clip = QRectF(QPointF(s16(p, 8), s16(p, 10)), QPointF(s16(p, 12), s16(p, 14)));
        at += 8;
    }
    if (p.size() < at + length)
        return false;
    t->bytes = p.sliced(at, length);
    at += length + (length & 1);
    if (t->options & TextPairs) {
        if (length > 0 && p.size() >= at + 4 * length) {
            for (qsizetype i = 0; i < length; ++i) {
                t->dx.append(s16(p, at + 4 * i));
                t->dy.append(s16(p, at + 4 * i + 2));
            }
        }
    } else if (length > 0 && p.size() >= at + 2 * length) {
        t->dx.reserve(length);
        for (qsizetype i = 0; i < length; ++i)
            t->dx.append(s16(p, at + 2 * i));
    }
    return true;
}

// Each character's advance and rise, in pixels, from the metafile's spacing of its bytes.
// Returns how far up the text went, in logical units.
qreal spaceRun(const TextRecord &t, const QList<int> &byteCounts, qreal sx, qreal sy, TextRun *run)
{
    qreal risen = 0;
    if (t.dx.isEmpty() || byteCounts.size() != run->text.size())
        return risen;
    qsizetype b = 0;
    for (int count : byteCounts) {
        qreal advance = 0;
        if (!t.dy.isEmpty())
            run->rises.append(risen * sy);
        for (int k = 0; k < count && b < t.dx.size(); ++k, ++b) {
            advance += t.dx[b];
            if (!t.dy.isEmpty())
                risen += t.dy[b];
        }
        run->advances.append(advance * sx);
    }
    return risen;
}

// The font's size, angle, family and styles, as the run draws them.
void styleRun(const Font &font, qreal sx, qreal sy, TextRun *run)
{
    if (font.height == 0) {
        run->emPixels = -12.0 * 96.0 / 72.0; // the usual 12 points
    } else {
        run->emPixels = font.height * sy; // sign kept: the sink knows cell from character height
        if (font.height < 0)
            run->emPixels = -std::abs(run->emPixels);
    }
    run->widthPixels = std::abs(font.width) * sx;
    run->angle = font.escapement / 10.0; // counter-clockwise as seen, whichever way y grows
    run->family = familyFor(font.face, font.charSet, font.pitchAndFamily);
    run->weight = font.weight <= 0 ? 400 : std::clamp<int>(font.weight, 100, 900);
    run->italic = font.italic;
    run->underline = font.underline;
    run->strikeOut = font.strikeOut;
}

} // namespace

// TextOut and ExtTextOut.
bool Parser::text(quint16 function, QByteArrayView p)
{
    TextRecord t;
    if (!(function == ExtTextOut ? readExtTextOut(p, &t) : readTextOut(p, &t)))
        return malformed();
    drawing();
    if (t.bytes.isEmpty() && !(t.options & TextOpaque))
        return true;

    const Font &font = m_dc.font;
    const Mapping &map = m_dc.mapping;
    TextRun run;
    QList<int> byteCounts;
    run.text = decodeText(t.bytes, font.charSet, font.face, &byteCounts);
    const qreal sx = std::abs(map.scaleX()), sy = std::abs(map.scaleY());
    const bool useCp = m_dc.textAlign & AlignUpdateCp;
    run.reference = map.map(useCp ? m_dc.currentPosition : QPointF(t.x, t.y));
    const qreal risen = spaceRun(t, byteCounts, sx, sy, &run); // logical units, up the text
    if (t.options & TextGlyphIndices)
        run.text.clear(); // indices into a font we do not have: only the background shows
    run.extraPerChar = m_dc.textCharExtra * sx;
    if (m_dc.breakCount > 0)
        run.extraPerBreak = m_dc.breakExtra * sx / m_dc.breakCount;
    run.align = m_dc.textAlign;
    run.options = t.options;
    run.rect = t.clip ? map.mapRect(*t.clip) : QRectF();
    styleRun(font, sx, sy, &run);
    const qreal advance = m_sink->text(m_dc, run);
    if (useCp && sx > 0) {
        // The metafile's own spacing, when it gives one, says exactly how far the text went.
        qreal logical = advance / sx;
        if (!t.dx.isEmpty())
            logical = std::accumulate(t.dx.begin(), t.dx.end(), 0.0);
        m_dc.currentPosition.rx() += map.scaleX() < 0 ? -logical : logical;
        m_dc.currentPosition.ry() += map.scaleY() < 0 ? risen : -risen;
    }
    return true;
}

} // namespace wmf
