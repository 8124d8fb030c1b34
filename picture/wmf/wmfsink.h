// What the metafile parser calls for each drawing record, in picture pixels.
#pragma once

#include "wmfdevicecontext.h"

#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QString>

namespace wmf {

enum class ArcKind { Arc, Pie, Chord };

// ExtTextOut options.
enum TextOption : quint16 {
    TextOpaque = 0x0002,
    TextClipped = 0x0004,
    TextGlyphIndices = 0x0010,
    TextPairs = 0x2000, // the spacing array holds pairs: across, and up
};

// One run of text, fully decoded: the sink only lays it out and draws it.
struct TextRun
{
    QPointF reference; // picture pixels, the point the alignment flags refer to
    QString text;
    QList<qreal> advances;   // picture pixels per character, from the metafile; empty: natural
    QList<qreal> rises;      // picture pixels each character sits above the first; empty: none
    qreal extraPerChar = 0;  // SetTextCharExtra, pixels
    qreal extraPerBreak = 0; // SetTextJustification, pixels per space
    quint16 align = 0;       // TextAlign flags
    quint16 options = 0;     // TextOption flags
    QRectF rect;             // picture pixels, for TextOpaque / TextClipped
    qreal emPixels = 16;     // em height in pixels
    qreal widthPixels = 0;   // average character width asked for; 0: the face's own
    qreal angle = 0;         // degrees, counter-clockwise on the picture
    QString family;          // an installed family standing in for the metafile's face
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

// Geometry arrives in picture pixels; the device context carries the pen, brush, colours,
// modes and clip region in effect. Sinks draw, measure, or record.
class Sink
{
public:
    virtual ~Sink() = default;

    virtual void polyline(const DeviceContext &dc, const QPolygonF &points) = 0;
    virtual void polygons(const DeviceContext &dc, const QList<QPolygonF> &polygons) = 0;
    virtual void rectangle(const DeviceContext &dc, const QRectF &rect) = 0;
    virtual void roundRect(const DeviceContext &dc, const QRectF &rect, QSizeF corner) = 0;
    virtual void ellipse(const DeviceContext &dc, const QRectF &rect) = 0;
    // Angles in degrees, counter-clockwise on the picture, as QPainterPath::arcTo takes them.
    virtual void arc(const DeviceContext &dc, ArcKind kind, const QRectF &rect, qreal start,
                     qreal sweep) = 0;
    virtual void setPixel(const DeviceContext &dc, QPointF point, QColor color) = 0;
    // surface: fill the area of colour `color`; otherwise fill up to a border of that colour.
    virtual void floodFill(const DeviceContext &dc, QPointF point, QColor color, bool surface) = 0;
    virtual void patBlt(const DeviceContext &dc, const QRectF &rect, quint32 rop) = 0;
    // Returns the advance of the run in pixels, for alignment that updates the position.
    virtual qreal text(const DeviceContext &dc, const TextRun &run) = 0;
    virtual void fillPath(const DeviceContext &dc, const QPainterPath &path,
                          const Brush &brush) = 0;
    virtual void framePath(const DeviceContext &dc, const QPainterPath &path, const Brush &brush,
                           QSizeF frame) = 0;
    virtual void invertPath(const DeviceContext &dc, const QPainterPath &path) = 0;
    // source: the part of image to draw (pixels of image), stretched onto dest.
    virtual void bitmap(const DeviceContext &dc, const QRectF &dest, const QImage &image,
                        const QRectF &source, quint32 rop) = 0;
};

} // namespace wmf
