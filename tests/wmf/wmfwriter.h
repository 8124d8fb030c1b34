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

inline void put16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

inline void put32(QByteArray &b, quint32 v)
{
    put16(b, int(v & 0xFFFF));
    put16(b, int(v >> 16));
}

inline void putColor(QByteArray &b, QColor c)
{
    b.append(char(c.red()));
    b.append(char(c.green()));
    b.append(char(c.blue()));
    b.append(char(0));
}

// A packed DIB: 40-byte header, colour table, bits as given (rows bottom-up unless height < 0).
inline QByteArray dib(int width, int height, int bpp, const QList<QRgb> &colors,
                      const QByteArray &bits, quint32 compression = 0,
                      const QList<quint32> &masks = {})
{
    QByteArray b;
    put32(b, 40);
    put32(b, quint32(width));
    put32(b, quint32(height));
    put16(b, 1);
    put16(b, bpp);
    put32(b, compression);
    put32(b, quint32(bits.size()));
    put32(b, 3780);
    put32(b, 3780);
    put32(b, quint32(colors.size()));
    put32(b, 0);
    for (quint32 m : masks)
        put32(b, m);
    for (QRgb c : colors) {
        b.append(char(qBlue(c)));
        b.append(char(qGreen(c)));
        b.append(char(qRed(c)));
        b.append(char(0));
    }
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
    Writer &record(int function, std::initializer_list<int> words)
    {
        QByteArray p;
        for (int w : words)
            put16(p, w);
        return raw(function, p);
    }
    Writer &raw(int function, const QByteArray &params)
    {
        QByteArray r;
        const int padded = int(params.size() + (params.size() & 1));
        put32(r, quint32(3 + padded / 2));
        put16(r, function);
        r += params;
        if (params.size() & 1)
            r.append('\0');
        m_records += r;
        m_maxRecord = std::max(m_maxRecord, quint32(r.size() / 2));
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
    Writer &setBkColor(QColor c) { return colorRecord(0x0201, c); }
    Writer &setTextColor(QColor c) { return colorRecord(0x0209, c); }

    Writer &createPen(int style, int width, QColor c)
    {
        QByteArray p;
        put16(p, style);
        put16(p, width);
        put16(p, 0);
        putColor(p, c);
        ++m_objects;
        return raw(0x02FA, p);
    }
    Writer &createBrush(int style, QColor c, int hatch = 0)
    {
        QByteArray p;
        put16(p, style);
        putColor(p, c);
        put16(p, hatch);
        ++m_objects;
        return raw(0x02FC, p);
    }
    Writer &createPatternBrush(const QByteArray &packedDib)
    {
        QByteArray p;
        put16(p, 5);
        put16(p, 0);
        ++m_objects;
        return raw(0x0142, p + packedDib);
    }
    Writer &createFont(int height, const QByteArray &face, int charSet = 0, int escapement = 0,
                       int weight = 400, bool italic = false, bool underline = false,
                       bool strikeOut = false, int width = 0)
    {
        QByteArray p;
        put16(p, height);
        put16(p, width);
        put16(p, escapement);
        put16(p, escapement);
        put16(p, weight);
        p.append(char(italic));
        p.append(char(underline));
        p.append(char(strikeOut));
        p.append(char(charSet));
        p.append(char(0));
        p.append(char(0));
        p.append(char(0));
        p.append(char(0));
        QByteArray name = face.left(31);
        name.append('\0');
        ++m_objects;
        return raw(0x02FB, p + name);
    }
    Writer &createPalette(const QList<QRgb> &colors)
    {
        QByteArray p;
        put16(p, 0x0300);
        put16(p, int(colors.size()));
        for (QRgb c : colors) {
            p.append(char(qRed(c)));
            p.append(char(qGreen(c)));
            p.append(char(qBlue(c)));
            p.append(char(0));
        }
        ++m_objects;
        return raw(0x00F7, p);
    }
    // A region of whole rectangles, each its own scan (the rectangles must not share rows).
    Writer &createRegion(const QList<QRect> &rects)
    {
        QByteArray scans;
        QRect bounds;
        for (const QRect &r : rects) {
            bounds |= r;
            put16(scans, 2);
            put16(scans, r.top());
            put16(scans, r.bottom() + 1);
            put16(scans, r.left());
            put16(scans, r.right() + 1);
            put16(scans, 2);
        }
        QByteArray p;
        put16(p, 0);
        put16(p, 6);
        put32(p, 0);
        put16(p, int(22 + scans.size()));
        put16(p, int(rects.size()));
        put16(p, 2);
        put16(p, bounds.left());
        put16(p, bounds.top());
        put16(p, bounds.right() + 1);
        put16(p, bounds.bottom() + 1);
        ++m_objects;
        return raw(0x06FF, p + scans);
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
    Writer &arc(int function, int l, int t, int r, int b, QPoint start, QPoint end)
    {
        return record(function, {end.y(), end.x(), start.y(), start.x(), b, r, t, l});
    }
    Writer &points(int function, const QList<QPoint> &pts)
    {
        QByteArray p;
        put16(p, int(pts.size()));
        for (QPoint pt : pts) {
            put16(p, pt.x());
            put16(p, pt.y());
        }
        return raw(function, p);
    }
    Writer &polygon(const QList<QPoint> &pts) { return points(0x0324, pts); }
    Writer &polyline(const QList<QPoint> &pts) { return points(0x0325, pts); }
    Writer &polyPolygon(const QList<QList<QPoint>> &polys)
    {
        QByteArray p;
        put16(p, int(polys.size()));
        for (const auto &poly : polys)
            put16(p, int(poly.size()));
        for (const auto &poly : polys)
            for (QPoint pt : poly) {
                put16(p, pt.x());
                put16(p, pt.y());
            }
        return raw(0x0538, p);
    }
    Writer &setPixel(int x, int y, QColor c)
    {
        QByteArray p;
        putColor(p, c);
        put16(p, y);
        put16(p, x);
        return raw(0x041F, p);
    }
    Writer &extFloodFill(int x, int y, QColor c, int mode)
    {
        QByteArray p;
        put16(p, mode);
        putColor(p, c);
        put16(p, y);
        put16(p, x);
        return raw(0x0548, p);
    }
    Writer &patBlt(int x, int y, int w, int h, quint32 rop)
    {
        QByteArray p;
        put32(p, rop);
        put16(p, h);
        put16(p, w);
        put16(p, y);
        put16(p, x);
        return raw(0x061D, p);
    }
    Writer &textOut(int x, int y, const QByteArray &text)
    {
        QByteArray p;
        put16(p, int(text.size()));
        p += text;
        if (text.size() & 1)
            p.append('\0');
        put16(p, y);
        put16(p, x);
        return raw(0x0521, p);
    }
    Writer &extTextOut(int x, int y, int options, QRect rect, const QByteArray &text,
                       const QList<int> &dx = {})
    {
        QByteArray p;
        put16(p, y);
        put16(p, x);
        put16(p, int(text.size()));
        put16(p, options);
        if (options & 6) {
            put16(p, rect.left());
            put16(p, rect.top());
            put16(p, rect.right() + 1);
            put16(p, rect.bottom() + 1);
        }
        p += text;
        if (text.size() & 1)
            p.append('\0');
        for (int d : dx)
            put16(p, d);
        return raw(0x0A32, p);
    }
    Writer &regionCall(int function, std::initializer_list<int> words)
    {
        return record(function, words);
    }
    // colorUsage 1: the bitmap's colour table holds indices into the selected palette.
    Writer &stretchDib(QRect dest, QRect source, const QByteArray &packedDib,
                       quint32 rop = 0x00CC0020, int colorUsage = 0)
    {
        QByteArray p;
        put32(p, rop);
        put16(p, colorUsage);
        put16(p, source.height());
        put16(p, source.width());
        put16(p, source.y());
        put16(p, source.x());
        put16(p, dest.height());
        put16(p, dest.width());
        put16(p, dest.y());
        put16(p, dest.x());
        return raw(0x0F43, p + packedDib);
    }
    Writer &dibStretchBlt(QRect dest, QRect source, const QByteArray &packedDib,
                          quint32 rop = 0x00CC0020)
    {
        QByteArray p;
        put32(p, rop);
        put16(p, source.height());
        put16(p, source.width());
        put16(p, source.y());
        put16(p, source.x());
        put16(p, dest.height());
        put16(p, dest.width());
        put16(p, dest.y());
        put16(p, dest.x());
        return raw(0x0B41, p + packedDib);
    }
    Writer &dibBitBlt(QPoint dest, QSize size, const QByteArray &packedDib,
                      quint32 rop = 0x00CC0020)
    {
        QByteArray p;
        put32(p, rop);
        put16(p, 0);
        put16(p, 0);
        put16(p, size.height());
        put16(p, size.width());
        put16(p, dest.y());
        put16(p, dest.x());
        return raw(0x0940, p + packedDib);
    }
    Writer &setDiBitsToDevice(QPoint dest, QSize size, const QByteArray &packedDib)
    {
        QByteArray p;
        put16(p, 0);
        put16(p, size.height());
        put16(p, 0);
        put16(p, 0);
        put16(p, 0);
        put16(p, size.height());
        put16(p, size.width());
        put16(p, dest.y());
        put16(p, dest.x());
        return raw(0x0D33, p + packedDib);
    }
    Writer &escape(int function, const QByteArray &data)
    {
        QByteArray p;
        put16(p, function);
        put16(p, int(data.size()));
        return raw(0x0626, p + data);
    }

    // The whole file, with the end record.
    QByteArray finish(bool withEof = true) const
    {
        QByteArray records = m_records;
        if (withEof) {
            put32(records, 3);
            put16(records, 0);
        }
        QByteArray out;
        if (m_placeable) {
            QByteArray h;
            put32(h, 0x9AC6CDD7);
            put16(h, 0);
            put16(h, m_frame.left());
            put16(h, m_frame.top());
            put16(h, m_frame.right() + 1);
            put16(h, m_frame.bottom() + 1);
            put16(h, m_inch);
            put32(h, 0);
            quint16 sum = 0;
            for (int i = 0; i < 20; i += 2)
                sum ^= quint16(quint8(h[i]) | (quint8(h[i + 1]) << 8));
            put16(h, sum);
            out += h;
        }
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x0300);
        put32(out, quint32(9 + records.size() / 2));
        put16(out, std::max(m_objects, 1));
        put32(out, m_maxRecord);
        put16(out, 0);
        return out + records;
    }

private:
    Writer &colorRecord(int function, QColor c)
    {
        QByteArray p;
        putColor(p, c);
        return raw(function, p);
    }

    bool m_placeable;
    QRect m_frame;
    int m_inch;
    QByteArray m_records;
    int m_objects = 0;
    quint32 m_maxRecord = 3;
};

} // namespace wmftest
