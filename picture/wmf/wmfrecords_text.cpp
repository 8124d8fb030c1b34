// Records that draw text.
#include "wmfrecords.h"

#include "wmftext.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace wmf {

// TextOut and ExtTextOut.
bool Parser::text(quint16 function, QByteArrayView p)
{
    const bool extended = function == ExtTextOut;
    qint16 x = 0, y = 0;
    quint16 options = 0;
    QByteArrayView bytes;
    QRectF clipRect;
    QList<qint16> dx, dy;
    if (!extended) {
        const qsizetype length = u16(p, 0);
        const qsizetype padded = length + (length & 1);
        if (p.size() < 2 + padded + 4)
            return malformed();
        bytes = p.sliced(2, length);
        y = s16(p, 2 + padded);
        x = s16(p, 4 + padded);
    } else {
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

} // namespace wmf
