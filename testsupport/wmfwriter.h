// Writes small metafiles for the tests and the fuzzing seeds: records by name, little-endian.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QRgb>

#include <initializer_list>

namespace wmftest {

// 16-bit words, little-endian.
inline QByteArray words(std::initializer_list<int> ws)
{
    QByteArray b;
    for (int w : ws)
        b.append(char(w & 0xFF)).append(char((w >> 8) & 0xFF));
    return b;
}

inline QByteArray dwords(std::initializer_list<quint32> ds)
{
    QByteArray b;
    for (quint32 d : ds)
        b += words({int(d & 0xFFFF), int(d >> 16)});
    return b;
}

// A colour as the metafile holds it: red, green, blue, 0.
inline QByteArray colorRef(QColor c)
{
    return dwords({quint32(c.red() | c.green() << 8 | c.blue() << 16)});
}

inline QByteArray points(const QList<QPoint> &pts)
{
    QByteArray b;
    for (QPoint p : pts)
        b += words({p.x(), p.y()});
    return b;
}

// A packed DIB: 40-byte header, masks, colour table, bits as given (rows bottom-up unless
// height < 0).
inline QByteArray dib(int width, int height, int bpp, const QList<QRgb> &colors,
                      const QByteArray &bits, quint32 compression = 0,
                      const QList<quint32> &masks = {})
{
    QByteArray b =
        dwords({40, quint32(width), quint32(height)}) + words({1, bpp}) +
        dwords({compression, quint32(bits.size()), 3780, 3780, quint32(colors.size()), 0});
    for (quint32 m : masks)
        b += dwords({m});
    for (QRgb c : colors)
        b += dwords({c & 0xFFFFFF}); // blue, green, red, 0
    return b + bits;
}

class Writer
{
public:
    // placeable: with the 22-byte header giving frame (left, top, right, bottom) and units an inch.
    explicit Writer(bool placeable = true, QRect frame = QRect(0, 0, 100, 100), int inch = 96)
        : m_placeable(placeable), m_frame(frame), m_inch(inch)
    {
    }

    // Any record: function and its parameter words, in the order the file holds them.
    Writer &record(int function, std::initializer_list<int> ws) { return raw(function, words(ws)); }
    Writer &raw(int function, QByteArray params)
    {
        if (params.size() & 1)
            params.append('\0');
        const quint32 size = quint32(3 + params.size() / 2);
        m_records += dwords({size}) + words({function}) + params;
        m_maxRecord = std::max(m_maxRecord, size);
        return *this;
    }

    Writer &setMapMode(int mode) { return record(0x0103, {mode}); }
    Writer &setWindowOrg(int x, int y) { return record(0x020B, {y, x}); }
    Writer &setWindowExt(int x, int y) { return record(0x020C, {y, x}); }
    Writer &setViewportOrg(int x, int y) { return record(0x020D, {y, x}); }
    Writer &setViewportExt(int x, int y) { return record(0x020E, {y, x}); }
    Writer &offsetWindowOrg(int x, int y) { return record(0x020F, {y, x}); }
    Writer &offsetViewportOrg(int x, int y) { return record(0x0211, {y, x}); }
    Writer &scaleWindowExt(int xn, int xd, int yn, int yd)
    {
        return record(0x0410, {yd, yn, xd, xn});
    }
    Writer &scaleViewportExt(int xn, int xd, int yn, int yd)
    {
        return record(0x0412, {yd, yn, xd, xn});
    }
    Writer &saveDc() { return record(0x001E, {}); }
    Writer &restoreDc(int level) { return record(0x0127, {level}); }
    Writer &setBkMode(int mode) { return record(0x0102, {mode}); }
    Writer &setPolyFillMode(int mode) { return record(0x0106, {mode}); }
    Writer &setRop2(int rop) { return record(0x0104, {rop}); }
    Writer &setTextAlign(int align) { return record(0x012E, {align, 0}); }
    Writer &setTextCharExtra(int extra) { return record(0x0108, {extra}); }
    Writer &setTextJustification(int extra, int count) { return record(0x020A, {count, extra}); }
    Writer &setBkColor(QColor c) { return raw(0x0201, colorRef(c)); }
    Writer &setTextColor(QColor c) { return raw(0x0209, colorRef(c)); }

    Writer &createPen(int style, int width, QColor c)
    {
        return object(0x02FA, words({style, width, 0}) + colorRef(c));
    }
    Writer &createBrush(int style, QColor c, int hatch = 0)
    {
        return object(0x02FC, words({style}) + colorRef(c) + words({hatch}));
    }
    Writer &createPatternBrush(const QByteArray &packedDib)
    {
        return object(0x0142, words({5, 0}) + packedDib);
    }
    Writer &createFont(int height, const QByteArray &face, int charSet = 0, int escapement = 0,
                       int weight = 400, bool italic = false, bool underline = false,
                       bool strikeOut = false, int width = 0)
    {
        return object(0x02FB, words({height, width, escapement, escapement, weight,
                                     italic | underline << 8, strikeOut | charSet << 8, 0, 0}) +
                                  face.left(31) + '\0');
    }
    Writer &createPalette(const QList<QRgb> &colors)
    {
        QByteArray p = words({0x0300, int(colors.size())});
        for (QRgb c : colors)
            p += colorRef(QColor(c));
        return object(0x00F7, p);
    }
    // A region of whole rectangles, each its own scan (the rectangles must not share rows).
    Writer &createRegion(const QList<QRect> &rects)
    {
        QByteArray scans;
        QRect b;
        for (const QRect &r : rects) {
            b |= r;
            scans += words({2, r.top(), r.bottom() + 1, r.left(), r.right() + 1, 2});
        }
        return object(0x06FF, words({0, 6, 0, 0, int(22 + scans.size()), int(rects.size()), 2,
                                     b.left(), b.top(), b.right() + 1, b.bottom() + 1}) +
                                  scans);
    }
    Writer &selectObject(int index) { return record(0x012D, {index}); }
    Writer &deleteObject(int index) { return record(0x01F0, {index}); }
    Writer &selectClipRegion(int index) { return record(0x012C, {index}); }
    Writer &intersectClipRect(int l, int t, int r, int b) { return record(0x0416, {b, r, t, l}); }
    Writer &excludeClipRect(int l, int t, int r, int b) { return record(0x0415, {b, r, t, l}); }
    Writer &offsetClipRgn(int x, int y) { return record(0x0220, {y, x}); }

    Writer &moveTo(int x, int y) { return record(0x0214, {y, x}); }
    Writer &lineTo(int x, int y) { return record(0x0213, {y, x}); }
    Writer &rectangle(int l, int t, int r, int b) { return record(0x041B, {b, r, t, l}); }
    Writer &ellipse(int l, int t, int r, int b) { return record(0x0418, {b, r, t, l}); }
    Writer &roundRect(int l, int t, int r, int b, int w, int h)
    {
        return record(0x061C, {h, w, b, r, t, l});
    }
    // Arc 0x0817, Pie 0x081A, Chord 0x0830.
    Writer &arc(int function, int l, int t, int r, int b, QPoint start, QPoint end)
    {
        return record(function, {end.y(), end.x(), start.y(), start.x(), b, r, t, l});
    }
    Writer &polygon(const QList<QPoint> &pts) { return polyPolygon({pts}, 0x0324); }
    Writer &polyline(const QList<QPoint> &pts) { return polyPolygon({pts}, 0x0325); }
    // PolyPolygon, or with another function the one-polygon records (count, then points).
    Writer &polyPolygon(const QList<QList<QPoint>> &polys, int function = 0x0538)
    {
        QByteArray counts, pts;
        for (const auto &poly : polys) {
            counts += words({int(poly.size())});
            pts += points(poly);
        }
        const QByteArray head = function == 0x0538 ? words({int(polys.size())}) : QByteArray();
        return raw(function, head + counts + pts);
    }
    Writer &setPixel(int x, int y, QColor c) { return raw(0x041F, colorRef(c) + words({y, x})); }
    Writer &extFloodFill(int x, int y, QColor c, int mode)
    {
        return raw(0x0548, words({mode}) + colorRef(c) + words({y, x}));
    }
    Writer &patBlt(int x, int y, int w, int h, quint32 rop)
    {
        return raw(0x061D, dwords({rop}) + words({h, w, y, x}));
    }
    Writer &textOut(int x, int y, const QByteArray &text)
    {
        return raw(0x0521, words({int(text.size())}) + padded(text) + words({y, x}));
    }
    Writer &extTextOut(int x, int y, int options, QRect rect, const QByteArray &text,
                       const QList<int> &dx = {})
    {
        QByteArray p = words({y, x, int(text.size()), options});
        if (options & 6)
            p += words({rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1});
        p += padded(text);
        for (int d : dx)
            p += words({d});
        return raw(0x0A32, p);
    }
    // The bitmap records: StretchDIB 0x0F43 (colorUsage 1: the colour table holds indices into
    // the selected palette), DIBStretchBlt 0x0B41, and from the source's origin at the
    // destination's size DIBBitBlt 0x0940 and SetDIBitsToDevice 0x0D33.
    Writer &bitmap(int function, QRect dest, QRect source, const QByteArray &packedDib,
                   quint32 rop = 0x00CC0020, int colorUsage = 0)
    {
        QByteArray p = function == 0x0D33   ? words({colorUsage, dest.height(), 0, 0, 0})
                       : function == 0x0940 ? dwords({rop, 0})
                       : function == 0x0F43 ? dwords({rop}) + words({colorUsage})
                                            : dwords({rop});
        if (function == 0x0F43 || function == 0x0B41)
            p += words({source.height(), source.width(), source.y(), source.x()});
        return raw(function,
                   p + words({dest.height(), dest.width(), dest.y(), dest.x()}) + packedDib);
    }
    Writer &escape(int function, const QByteArray &data)
    {
        return raw(0x0626, words({function, int(data.size())}) + data);
    }

    // The whole file, with the end record.
    QByteArray finish() const
    {
        const QByteArray records = m_records + words({3, 0, 0});
        QByteArray out;
        if (m_placeable) {
            out =
                dwords({0x9AC6CDD7}) + words({0, m_frame.left(), m_frame.top(), m_frame.right() + 1,
                                              m_frame.bottom() + 1, m_inch, 0, 0});
            int sum = 0;
            for (int i = 0; i < 20; i += 2)
                sum ^= quint8(out[i]) | quint8(out[i + 1]) << 8;
            out += words({sum});
        }
        return out + words({1, 9, 0x0300}) + dwords({quint32(9 + records.size() / 2)}) +
               words({std::max(m_objects, 1)}) + dwords({m_maxRecord}) + words({0}) + records;
    }

private:
    Writer &object(int function, const QByteArray &params)
    {
        ++m_objects;
        return raw(function, params);
    }
    static QByteArray padded(const QByteArray &text)
    {
        return text + QByteArray(text.size() & 1, 0);
    }

    bool m_placeable;
    QRect m_frame;
    int m_inch;
    QByteArray m_records;
    int m_objects = 0;
    quint32 m_maxRecord = 3;
};

// A metafile of one filled and outlined polygon through count random points of a 1000-unit
// square: a small file whose fill crosses itself so often that drawing it takes minutes.
inline QByteArray scribble(int count, quint32 seed)
{
    QList<QPoint> points;
    quint32 state = seed;
    const auto next = [&state] { // a little linear congruential generator
        state = state * 1664525u + 1013904223u;
        return int(state >> 8) % 1000;
    };
    for (int i = 0; i < count; ++i)
        points.append(QPoint(next(), next()));
    return Writer(true, QRect(0, 0, 1000, 1000), 96)
        .createPen(0, 1, QColor(0, 0, 0))
        .selectObject(0)
        .createBrush(0, QColor(255, 0, 0))
        .selectObject(1)
        .polygon(points)
        .finish();
}

} // namespace wmftest
