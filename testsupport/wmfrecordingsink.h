// Writes down each sink call as a line of text, so tests can check what a metafile decoded to.
#pragma once

#include "picture/wmf/wmfsink.h"

#include <QStringList>

namespace wmf {

// Lines look like "rectangle 10,20 30x40 pen=#ff0000/1 brush=#00ff00", numbers in picture
// pixels, rounded to two decimals.
class RecordingSink : public Sink
{
public:
    QStringList calls;
    QList<TextRun> texts; // every text run, whole
    QList<QImage> images; // every bitmap drawn

    void polyline(const DeviceContext &dc, const QPolygonF &points) override;
    void polygons(const DeviceContext &dc, const QList<QPolygonF> &polygons) override;
    void rectangle(const DeviceContext &dc, const QRectF &rect) override;
    void roundRect(const DeviceContext &dc, const QRectF &rect, QSizeF corner) override;
    void ellipse(const DeviceContext &dc, const QRectF &rect) override;
    void arc(const DeviceContext &dc, ArcKind kind, const QRectF &rect, qreal start,
             qreal sweep) override;
    void setPixel(const DeviceContext &dc, QPointF point, QColor color) override;
    void floodFill(const DeviceContext &dc, QPointF point, QColor color, bool surface) override;
    void patBlt(const DeviceContext &dc, const QRectF &rect, quint32 rop) override;
    qreal text(const DeviceContext &dc, const TextRun &run) override;
    void fillPath(const DeviceContext &dc, const QPainterPath &path, const Brush &brush) override;
    void framePath(const DeviceContext &dc, const QPainterPath &path, const Brush &brush,
                   QSizeF frame) override;
    void invertPath(const DeviceContext &dc, const QPainterPath &path) override;
    void bitmap(const DeviceContext &dc, const QRectF &dest, const QImage &image,
                const QRectF &source, quint32 rop) override;
};

} // namespace wmf
