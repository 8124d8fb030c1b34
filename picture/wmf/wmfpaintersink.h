// Draws metafile records onto a QImage with QPainter.
#pragma once

#include "wmfsink.h"

#include <QPainter>

#include <optional>

namespace wmf {

// Where a run of text would be drawn, in picture pixels; empty when it would not be.
// advance, when given, receives how far along its baseline the run goes.
QRectF textBounds(const TextRun &run, qreal *advance = nullptr);

class PainterSink : public Sink
{
public:
    // image: an opaque image (Format_RGB32), already cleared; kept painted on until destroyed.
    // zoom: picture pixels per pixel of the picture's own size. Thin lines along the axes are
    // drawn on whole pixels at any zoom, as the platform draws them.
    explicit PainterSink(QImage *image, qreal zoom = 1);
    ~PainterSink() override;

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

private:
    // Sets clip, composition and hints for one call; false when nothing is to be drawn.
    bool prepare(const DeviceContext &dc);
    QPen pen(const DeviceContext &dc) const;
    QRectF insideFrame(const DeviceContext &dc, const QRectF &rect) const;
    int crispWidth(const DeviceContext &dc) const;
    QList<QPoint> crispPoints(const DeviceContext &dc, const QPolygonF &points, bool closed) const;
    QBrush brush(const DeviceContext &dc, const Brush &b) const;
    void shape(const DeviceContext &dc, const QPainterPath &path, bool fill);
    void framed(const DeviceContext &dc, const QPainterPath &path, const QPolygonF &outline);
    void drawCrisp(const DeviceContext &dc, const QList<QPoint> &points);
    void blit(const DeviceContext &dc, const QRectF &dest, const QImage &image,
              const QRectF &source, quint32 rop);
    void flush();

    // A grey mask drawn with SRCPAINT or SRCAND, held back in case the picture it masks
    // follows with the other operation: the pair is one picture with soft edges.
    struct Mask
    {
        DeviceContext dc;
        QRectF dest;
        QImage image;
        QRectF source;
        quint32 rop;
    };

    QImage *m_image;
    QPainter m_painter;
    qreal m_zoom;
    std::optional<Mask> m_mask;
};

} // namespace wmf
