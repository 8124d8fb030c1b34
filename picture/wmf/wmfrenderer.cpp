// Finds a metafile's frame and size, then plays it onto a QImage.
#include "wmfrenderer.h"

#include "wmfpaintersink.h"
#include "wmfparser.h"

#include "picture/fitting.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace wmf {

namespace {

// Measures where a metafile draws, for metafiles that do not say how big they are.
class BoundsSink : public Sink
{
public:
    QRectF bounds;

    void polyline(const DeviceContext &dc, const QPolygonF &points) override
    {
        add(points.boundingRect(), penWidth(dc));
    }
    void polygons(const DeviceContext &dc, const QList<QPolygonF> &polygons) override
    {
        for (const QPolygonF &p : polygons)
            add(p.boundingRect(), penWidth(dc));
    }
    void rectangle(const DeviceContext &dc, const QRectF &rect) override
    {
        add(rect, penWidth(dc));
    }
    void roundRect(const DeviceContext &dc, const QRectF &rect, QSizeF) override
    {
        add(rect, penWidth(dc));
    }
    void ellipse(const DeviceContext &dc, const QRectF &rect) override { add(rect, penWidth(dc)); }
    void arc(const DeviceContext &dc, ArcKind kind, const QRectF &rect, qreal start,
             qreal sweep) override
    {
        QPainterPath path;
        if (kind == ArcKind::Pie)
            path.moveTo(rect.center());
        else
            path.arcMoveTo(rect, start);
        path.arcTo(rect, start, sweep);
        add(path.boundingRect(), penWidth(dc));
    }
    void setPixel(const DeviceContext &, QPointF point, QColor) override
    {
        add(QRectF(point, QSizeF(1, 1)), 0);
    }
    void floodFill(const DeviceContext &, QPointF, QColor, bool) override {}
    void patBlt(const DeviceContext &, const QRectF &rect, quint32) override { add(rect, 0); }
    qreal text(const DeviceContext &, const TextRun &run) override
    {
        if (run.options & TextOpaque)
            add(run.rect, 0);
        qreal advance = 0;
        const QRectF box = textBounds(run, &advance);
        if (!box.isEmpty())
            add(box, 0);
        return advance;
    }
    void fillPath(const DeviceContext &, const QPainterPath &path, const Brush &) override
    {
        add(path.boundingRect(), 0);
    }
    void framePath(const DeviceContext &, const QPainterPath &path, const Brush &, QSizeF) override
    {
        add(path.boundingRect(), 0);
    }
    void invertPath(const DeviceContext &, const QPainterPath &path) override
    {
        add(path.boundingRect(), 0);
    }
    void bitmap(const DeviceContext &, const QRectF &dest, const QImage &, const QRectF &,
                quint32) override
    {
        add(dest, 0);
    }

private:
    static qreal penWidth(const DeviceContext &dc) { return penSize(dc).pixels; }
    void add(const QRectF &r, qreal pen)
    {
        QRectF box = r.normalized().adjusted(-pen / 2, -pen / 2, pen / 2, pen / 2);
        if (box.width() <= 0)
            box.setWidth(1);
        if (box.height() <= 0)
            box.setHeight(1);
        bounds = bounds.isNull() ? box : bounds.united(box);
    }
};

QImage failed(picture::Refusal *refusal, picture::Refusal why)
{
    if (refusal)
        *refusal = std::move(why);
    return {};
}

using picture::Reason;
using picture::refused;

} // namespace

bool looksLikeMetafile(QByteArrayView head)
{
    if (head.size() >= 4 && quint8(head[0]) == 0xD7 && quint8(head[1]) == 0xCD &&
        quint8(head[2]) == 0xC6 && quint8(head[3]) == 0x9A)
        return true;
    // Plain header: type 1 (memory) or 2 (disk), header size 9 words.
    return head.size() >= 4 && (quint8(head[0]) == 1 || quint8(head[0]) == 2) && head[1] == 0 &&
           quint8(head[2]) == 9 && head[3] == 0;
}

QImage render(QByteArrayView data, picture::Refusal *refusal)
{
    return render(data, refusal, Limits());
}

namespace {

// Where the picture lies before the metafile's own records, and its own size, in pixels.
struct Frame
{
    Mapping start;
    QSizeF size;
    bool playerFrame = true; // the frame is ours, not the metafile's own mapping
};

// A placeable metafile's frame at 96 pixels an inch, or for one without the header the window
// the metafile sets (with its viewport's size when it sets one), or else the bounds of what it
// draws, found by playing it once.
picture::Refusal findFrame(Parser &parser, Frame *frame)
{
    const Header &header = parser.header();
    if (header.placeable) {
        const int width = header.right - header.left;
        const int height = header.bottom - header.top;
        if (width == 0 || height == 0)
            return refused(Reason::MetafileNoSize);
        const qreal inch = header.unitsPerInch ? header.unitsPerInch : 1440;
        frame->size = QSizeF(std::abs(width) * 96.0 / inch, std::abs(height) * 96.0 / inch);
        frame->start.windowOrg = QPointF(header.left, header.top);
        frame->start.windowExt = QSizeF(width, height);
        return {};
    }
    BoundsSink bounds;
    picture::Refusal why;
    if (!parser.play(bounds, Mapping(), false, &why))
        return why;
    const PlayStats &stats = parser.stats();
    const bool windowFrame = stats.frameTaken && (stats.frameMode == MapMode::Anisotropic ||
                                                  stats.frameMode == MapMode::Isotropic);
    if (windowFrame) {
        frame->start.windowOrg = stats.frameWindowOrg;
        frame->start.windowExt = stats.frameWindowExt;
        const QSizeF ext = stats.viewportExtSet ? stats.frameViewportExt : stats.frameWindowExt;
        frame->size = QSizeF(std::abs(ext.width()), std::abs(ext.height()));
        return {};
    }
    if (bounds.bounds.isEmpty())
        return refused(Reason::MetafileNothingDrawn);
    frame->playerFrame = false;
    frame->size = bounds.bounds.size();
    frame->start.deviceDx = -bounds.bounds.left();
    frame->start.deviceDy = -bounds.bounds.top();
    return {};
}

} // namespace

QImage render(QByteArrayView data, picture::Refusal *refusal, const Limits &limits, int longestSide)
{
    Parser parser(data, limits);
    picture::Refusal why;
    if (!parser.readHeader(&why))
        return failed(refusal, why);
    Frame frame;
    if (why = findFrame(parser, &frame); why.isRefused())
        return failed(refusal, why);
    const QSizeF size = frame.size;
    if (!(size.width() > 0 && size.height() > 0) || !std::isfinite(size.width()) ||
        !std::isfinite(size.height()))
        return failed(refusal, refused(Reason::MetafileBadSize));

    // Scale down what is too big for the limits, keeping the shape: the picture as the game
    // shows it. Drawn at another size, its pixels are `zoom` of those.
    const picture::Limits pictureLimits{limits.maxSide, limits.maxPixels};
    picture::Limits ownSize = pictureLimits;
    if (!parser.header().placeable)
        ownSize.maxSide = std::min(limits.maxSide, limits.maxPlainSide);
    const qreal natural = picture::fittingScale(size, {}, ownSize);
    const qreal scale =
        longestSide > 0 ? picture::fittingScale(size, {{}, longestSide}, pictureLimits) : natural;
    const qreal zoom = longestSide > 0 ? scale / natural : 1;
    const QSize pixels =
        picture::scaledSize(size, scale, longestSide > 0 ? pictureLimits : ownSize);
    const int width = pixels.width(), height = pixels.height();
    Mapping start = frame.start;
    if (frame.playerFrame) {
        start.viewportExt = QSizeF(width, height);
    } else {
        start.deviceScaleX = start.deviceScaleY = scale;
        start.deviceDx *= scale;
        start.deviceDy *= scale;
    }

    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return failed(refusal, refused(Reason::OutOfMemory));
    image.fill(Qt::white);
    image.setDotsPerMeterX(3780); // 96 an inch
    image.setDotsPerMeterY(3780);
    {
        PainterSink sink(&image, zoom); // done drawing when it goes
        if (!parser.play(sink, start, frame.playerFrame, &why))
            return failed(refusal, why);
    }
    return image;
}

} // namespace wmf
