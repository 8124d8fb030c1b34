// A sink that records instead of drawing.
#include "wmfrecordingsink.h"

namespace wmf {

namespace {

QString num(qreal v) { return QString::number(qRound(v * 100) / 100.0); }

QString pt(QPointF p) { return num(p.x()) + u',' + num(p.y()); }

QString rect(const QRectF &r)
{
    return pt(r.topLeft()) + u' ' + num(r.width()) + u'x' + num(r.height());
}

QString penOf(const DeviceContext &dc)
{
    return QStringLiteral(" pen=%1/%2/%3")
        .arg(dc.pen.color.name())
        .arg(dc.pen.style & PenStyleMask)
        .arg(num(std::abs(dc.pen.width * dc.mapping.scaleX())));
}

QString brushOf(const Brush &b)
{
    return QStringLiteral(" brush=%1/%2").arg(b.color.name()).arg(b.style);
}

QString clipOf(const DeviceContext &dc)
{
    if (!dc.clip)
        return {};
    const QRect r = dc.clip->boundingRect();
    return QStringLiteral(" clip=%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

void RecordingSink::polyline(const DeviceContext &dc, const QPolygonF &points)
{
    QString line = QStringLiteral("polyline");
    for (QPointF p : points)
        line += u' ' + pt(p);
    calls.append(line + penOf(dc) + clipOf(dc));
}

void RecordingSink::polygons(const DeviceContext &dc, const QList<QPolygonF> &polygons)
{
    QString line = QStringLiteral("polygon");
    for (const QPolygonF &poly : polygons) {
        line += QStringLiteral(" [");
        for (qsizetype i = 0; i < poly.size(); ++i)
            line += (i ? QStringLiteral(" ") : QString()) + pt(poly[i]);
        line += u']';
    }
    calls.append(line + QStringLiteral(" fill=%1").arg(dc.polyFillMode) + penOf(dc) +
                 brushOf(dc.brush) + clipOf(dc));
}

void RecordingSink::rectangle(const DeviceContext &dc, const QRectF &r)
{
    calls.append(QStringLiteral("rectangle ") + rect(r) + penOf(dc) + brushOf(dc.brush) +
                 clipOf(dc));
}

void RecordingSink::roundRect(const DeviceContext &dc, const QRectF &r, QSizeF corner)
{
    calls.append(QStringLiteral("roundrect ") + rect(r) + u' ' + num(corner.width()) + u'x' +
                 num(corner.height()) + penOf(dc) + brushOf(dc.brush) + clipOf(dc));
}

void RecordingSink::ellipse(const DeviceContext &dc, const QRectF &r)
{
    calls.append(QStringLiteral("ellipse ") + rect(r) + penOf(dc) + brushOf(dc.brush) + clipOf(dc));
}

void RecordingSink::arc(const DeviceContext &dc, ArcKind kind, const QRectF &r, qreal start,
                        qreal sweep)
{
    const QString name = kind == ArcKind::Arc   ? QStringLiteral("arc")
                         : kind == ArcKind::Pie ? QStringLiteral("pie")
                                                : QStringLiteral("chord");
    calls.append(name + u' ' + rect(r) + u' ' + num(start) + u' ' + num(sweep) + penOf(dc) +
                 clipOf(dc));
}

void RecordingSink::setPixel(const DeviceContext &dc, QPointF p, QColor color)
{
    calls.append(QStringLiteral("pixel ") + pt(p) + u' ' + color.name() + clipOf(dc));
}

void RecordingSink::floodFill(const DeviceContext &dc, QPointF p, QColor color, bool surface)
{
    calls.append(QStringLiteral("floodfill ") + pt(p) + u' ' + color.name() +
                 (surface ? QStringLiteral(" surface") : QStringLiteral(" border")) +
                 brushOf(dc.brush));
}

void RecordingSink::patBlt(const DeviceContext &dc, const QRectF &r, quint32 rop)
{
    calls.append(QStringLiteral("patblt ") + rect(r) +
                 QStringLiteral(" rop=%1").arg(rop, 6, 16, QChar(u'0')) + brushOf(dc.brush) +
                 clipOf(dc));
}

qreal RecordingSink::text(const DeviceContext &dc, const TextRun &run)
{
    texts.append(run);
    calls.append(QStringLiteral("text ") + pt(run.reference) + QStringLiteral(" \"") + run.text +
                 QStringLiteral("\" em=") + num(run.emPixels) + QStringLiteral(" angle=") +
                 num(run.angle) + QStringLiteral(" align=%1").arg(run.align) +
                 QStringLiteral(" color=") + dc.textColor.name() + clipOf(dc));
    // A stand-in advance: half the em a character.
    return std::abs(run.emPixels) / 2 * run.text.size();
}

void RecordingSink::fillPath(const DeviceContext &dc, const QPainterPath &path, const Brush &b)
{
    calls.append(QStringLiteral("fillregion ") + rect(path.boundingRect()) + brushOf(b) +
                 clipOf(dc));
}

void RecordingSink::framePath(const DeviceContext &dc, const QPainterPath &path, const Brush &b,
                              QSizeF frame)
{
    calls.append(QStringLiteral("frameregion ") + rect(path.boundingRect()) + u' ' +
                 num(frame.width()) + u'x' + num(frame.height()) + brushOf(b) + clipOf(dc));
}

void RecordingSink::invertPath(const DeviceContext &dc, const QPainterPath &path)
{
    calls.append(QStringLiteral("invertregion ") + rect(path.boundingRect()) + clipOf(dc));
}

void RecordingSink::bitmap(const DeviceContext &dc, const QRectF &dest, const QImage &image,
                           const QRectF &source, quint32 rop)
{
    images.append(image);
    calls.append(QStringLiteral("bitmap ") + rect(dest) + QStringLiteral(" from ") + rect(source) +
                 QStringLiteral(" of %1x%2").arg(image.width()).arg(image.height()) +
                 QStringLiteral(" rop=%1").arg(rop, 6, 16, QChar(u'0')) + clipOf(dc));
}

} // namespace wmf
