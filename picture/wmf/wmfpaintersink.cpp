// QPainter drawing of metafile records.
#include "wmfpaintersink.h"

#include "wmftext.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace wmf {

namespace {

enum Rop : quint32 {
    SrcCopy = 0x00CC0020,
    SrcPaint = 0x00EE0086,
    SrcAnd = 0x008800C6,
    SrcInvert = 0x00660046,
    SrcErase = 0x00440328,
    NotSrcCopy = 0x00330008,
    NotSrcErase = 0x001100A6,
    MergeCopy = 0x00C000CA,
    MergePaint = 0x00BB0226,
    PatCopy = 0x00F00021,
    PatInvert = 0x005A0049,
    DstInvert = 0x00550009,
    Blackness = 0x00000042,
    Whiteness = 0x00FF0062,
    Dest = 0x00AA0029,
    // Source white keeps the destination, source black takes the brush (and the reverse).
    PaintBrushThroughBlack = 0x00B8074A,
    PaintBrushThroughWhite = 0x00E20746,
};

// Raster operations on pens and brushes (SetROP2): composition, or a fixed colour.
struct Rop2
{
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    std::optional<Qt::GlobalColor> color;
    bool skip = false;
};

constexpr Rop2 compose(QPainter::CompositionMode mode)
{
    Rop2 r;
    r.mode = mode;
    return r;
}

constexpr Rop2 fixedColor(Qt::GlobalColor color)
{
    Rop2 r;
    r.color = color;
    return r;
}

constexpr Rop2 noDrawing()
{
    Rop2 r;
    r.skip = true;
    return r;
}

// By the operation's number; copying the pen (13) and numbers out of range draw as usual.
constexpr Rop2 rop2Table[] = {
    {},                                                     // 0
    fixedColor(Qt::black),                                  // 1 black
    compose(QPainter::RasterOp_NotSourceAndNotDestination), // 2 not merge pen
    compose(QPainter::RasterOp_NotSourceAndDestination),    // 3 mask not pen
    compose(QPainter::RasterOp_NotSource),                  // 4 not copy pen
    compose(QPainter::RasterOp_SourceAndNotDestination),    // 5 mask pen not
    compose(QPainter::RasterOp_NotDestination),             // 6 not
    compose(QPainter::RasterOp_SourceXorDestination),       // 7 xor pen
    compose(QPainter::RasterOp_NotSourceOrNotDestination),  // 8 not mask pen
    compose(QPainter::RasterOp_SourceAndDestination),       // 9 mask pen
    compose(QPainter::RasterOp_NotSourceXorDestination),    // 10 not xor pen
    noDrawing(),                                            // 11 nop
    compose(QPainter::RasterOp_NotSourceOrDestination),     // 12 merge not pen
    {},                                                     // 13 copy pen
    compose(QPainter::RasterOp_SourceOrNotDestination),     // 14 merge pen not
    compose(QPainter::RasterOp_SourceOrDestination),        // 15 merge pen
    fixedColor(Qt::white),                                  // 16 white
};

Rop2 rop2(quint16 r) { return r < std::size(rop2Table) ? rop2Table[r] : Rop2{}; }

// Raster operations on bitmaps that compose the source with what is there; the rest copy.
struct BlitRop
{
    quint32 rop;
    QPainter::CompositionMode mode;
};

constexpr BlitRop blitRops[] = {
    {SrcPaint, QPainter::RasterOp_SourceOrDestination},
    {SrcAnd, QPainter::RasterOp_SourceAndDestination},
    {SrcInvert, QPainter::RasterOp_SourceXorDestination},
    {SrcErase, QPainter::RasterOp_SourceAndNotDestination},
    {NotSrcCopy, QPainter::RasterOp_NotSource},
    {NotSrcErase, QPainter::RasterOp_NotSourceAndNotDestination},
    {MergePaint, QPainter::RasterOp_NotSourceOrDestination},
};

QPainter::CompositionMode blitMode(quint32 rop)
{
    const auto *found = std::find_if(std::begin(blitRops), std::end(blitRops),
                                     [rop](const BlitRop &b) { return b.rop == rop; });
    return found != std::end(blitRops) ? found->mode : QPainter::CompositionMode_SourceOver;
}

Qt::BrushStyle hatchStyle(quint16 hatch)
{
    switch (hatch) {
    case 0:
        return Qt::HorPattern;
    case 1:
        return Qt::VerPattern;
    case 2:
        return Qt::FDiagPattern;
    case 3:
        return Qt::BDiagPattern;
    case 4:
        return Qt::CrossPattern;
    default:
        return Qt::DiagCrossPattern;
    }
}

} // namespace

PainterSink::PainterSink(QImage *image, qreal zoom) : m_image(image), m_zoom(zoom > 0 ? zoom : 1)
{
    m_painter.begin(m_image);
}

PainterSink::~PainterSink()
{
    flush();
    m_painter.end();
}

bool PainterSink::prepare(const DeviceContext &dc)
{
    flush();
    const Rop2 r = rop2(dc.rop2);
    if (r.skip)
        return false;
    if (dc.clip) {
        if (dc.clip->isEmpty())
            return false;
        m_painter.setClipRegion(*dc.clip);
    } else {
        m_painter.setClipping(false);
    }
    m_painter.setCompositionMode(r.mode);
    const bool rasterOp = r.mode != QPainter::CompositionMode_SourceOver;
    m_painter.setRenderHint(QPainter::Antialiasing, !rasterOp);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, !rasterOp);
    m_painter.setBackgroundMode(dc.bkMode == BkOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    m_painter.setBackground(dc.bkColor);
    return true;
}

QPen PainterSink::pen(const DeviceContext &dc) const
{
    const Pen &p = dc.pen;
    const quint16 style = p.style & PenStyleMask;
    if (style == PenNull)
        return Qt::NoPen;
    QColor color = p.color;
    if (const Rop2 r = rop2(dc.rop2); r.color)
        color = *r.color;
    const auto [width, hairline] = penSize(dc);
    QPen pen(color, width);
    // Styled lines exist only for pens at most one device unit wide (a pixel of the picture's
    // own size, whatever the mapping); wider ones draw solid. Dash lengths in pixels of that
    // size, about what the old display drivers drew; the pen's pattern counts in pen widths.
    bool styled = false;
    if (hairline || width / m_zoom <= 1.0) {
        styled = true;
        const qreal unit = m_zoom / width;
        switch (style) {
        case PenDash:
            pen.setDashPattern({18 * unit, 6 * unit});
            break;
        case PenDot:
            pen.setDashPattern({3 * unit, 3 * unit});
            break;
        case PenDashDot:
            pen.setDashPattern({9 * unit, 6 * unit, 3 * unit, 6 * unit});
            break;
        case PenDashDotDot:
            pen.setDashPattern({9 * unit, 3 * unit, 3 * unit, 3 * unit, 3 * unit, 3 * unit});
            break;
        default:
            styled = false;
            break;
        }
    }
    switch (p.style & PenEndCapMask) {
    case PenEndCapSquare:
        pen.setCapStyle(Qt::SquareCap);
        break;
    case PenEndCapFlat:
        pen.setCapStyle(Qt::FlatCap);
        break;
    default:
        pen.setCapStyle(styled ? Qt::FlatCap : Qt::RoundCap);
    }
    switch (p.style & PenJoinMask) {
    case PenJoinBevel:
        pen.setJoinStyle(Qt::BevelJoin);
        break;
    case PenJoinMiter:
        pen.setJoinStyle(Qt::MiterJoin);
        break;
    default:
        pen.setJoinStyle(Qt::RoundJoin);
    }
    return pen;
}

QBrush PainterSink::brush(const DeviceContext &dc, const Brush &b) const
{
    QColor color = b.color;
    if (const Rop2 r = rop2(dc.rop2); r.color)
        color = *r.color;
    switch (b.style) {
    case BrushNull:
        return Qt::NoBrush;
    case BrushHatched:
        return QBrush(color, hatchStyle(b.hatch));
    case BrushPattern:
    case BrushDibPattern:
    case BrushDibPatternPt:
        if (!b.pattern.isNull()) {
            QImage tile = b.pattern;
            if (tile.format() == QImage::Format_Mono && b.style == BrushPattern)
                tile.setColorTable({dc.textColor.rgb(), dc.bkColor.rgb()});
            return QBrush(tile.convertToFormat(QImage::Format_RGB32));
        }
        return QBrush(color);
    default:
        return QBrush(color);
    }
}

void PainterSink::shape(const DeviceContext &dc, const QPainterPath &path, bool fill)
{
    if (!prepare(dc))
        return;
    m_painter.setBrush(fill ? brush(dc, dc.brush) : QBrush(Qt::NoBrush));
    m_painter.setPen(pen(dc));
    m_painter.drawPath(path);
}

// How many whole pixels wide the platform's thin pens draw lines along the axes: a pen at
// most one pixel of the picture's own size wide (a zero-width pen is one pixel at any size),
// solid; 0 for other pens. One-pixel lines cover whole pixels at the picture's own size, and
// drawn at another size they do too.
int PainterSink::crispWidth(const DeviceContext &dc) const
{
    const quint16 style = dc.pen.style & PenStyleMask;
    const qreal width = penSize(dc).pixels;
    if (style == PenSolid && width / m_zoom <= 1 + 1e-9)
        return std::max(1, int(std::lround(width)));
    if ((style == PenSolid || style == PenInsideFrame) && width == 1.0)
        return 1;
    return 0;
}

// A thin pen's vertices on whole pixels; empty when the pen or the points are not along the
// axes (one slanted segment draws the whole line smoothly).
QList<QPoint> PainterSink::crispPoints(const DeviceContext &dc, const QPolygonF &points,
                                       bool closed) const
{
    if (points.size() < 2 || crispWidth(dc) == 0)
        return {};
    QList<QPoint> p;
    p.reserve(points.size() + 1);
    for (const QPointF &q : points) {
        if (!(std::abs(q.x()) < 1e6 && std::abs(q.y()) < 1e6))
            return {};
        p.append(QPoint(int(std::floor(q.x() + 0.5)), int(std::floor(q.y() + 0.5))));
        if (p.size() > 1 && p.last().x() != p[p.size() - 2].x() &&
            p.last().y() != p[p.size() - 2].y())
            return {};
    }
    if (closed) {
        if (p.first().x() != p.last().x() && p.first().y() != p.last().y())
            return {};
        p.append(p.first());
    }
    return p;
}

// As the platform draws lines: a one-pixel line colours each segment's pixels from its start
// up to, not including, its end; a wider one is centred on the segment, its extra pixel right
// of or below the middle, with square ends.
void PainterSink::drawCrisp(const DeviceContext &dc, const QList<QPoint> &p)
{
    const QColor color = pen(dc).color();
    const int width = crispWidth(dc);
    const int before = width / 2;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    for (qsizetype i = 1; i < p.size(); ++i) {
        const QPoint a = p[i - 1], b = p[i];
        if (a == b)
            continue;
        if (width > 1) {
            const QPoint low(std::min(a.x(), b.x()) - before, std::min(a.y(), b.y()) - before);
            const QPoint high(std::max(a.x(), b.x()) - before + width - 1,
                              std::max(a.y(), b.y()) - before + width - 1);
            m_painter.fillRect(QRect(low, high), color);
            continue;
        }
        const QPoint step(b.x() > a.x() ? 1 : (b.x() < a.x() ? -1 : 0),
                          b.y() > a.y() ? 1 : (b.y() < a.y() ? -1 : 0));
        const QPoint last = b - step;
        m_painter.fillRect(QRect(QPoint(std::min(a.x(), last.x()), std::min(a.y(), last.y())),
                                 QPoint(std::max(a.x(), last.x()), std::max(a.y(), last.y()))),
                           color);
    }
}

void PainterSink::polyline(const DeviceContext &dc, const QPolygonF &points)
{
    if (!prepare(dc))
        return;
    if (const QList<QPoint> crisp = crispPoints(dc, points, false); !crisp.isEmpty()) {
        drawCrisp(dc, crisp);
        return;
    }
    m_painter.setBrush(Qt::NoBrush);
    m_painter.setPen(pen(dc));
    m_painter.drawPolyline(points);
}

void PainterSink::polygons(const DeviceContext &dc, const QList<QPolygonF> &polygons)
{
    QPainterPath path;
    path.setFillRule(dc.polyFillMode == FillWinding ? Qt::WindingFill : Qt::OddEvenFill);
    for (const QPolygonF &p : polygons) {
        path.addPolygon(p);
        path.closeSubpath();
    }
    framed(dc, path, polygons.size() == 1 ? polygons.first() : QPolygonF());
}

// Fills path with the brush and frames it with the pen; an outline along the axes that a
// one-pixel pen draws is framed on whole pixels.
void PainterSink::framed(const DeviceContext &dc, const QPainterPath &path,
                         const QPolygonF &outline)
{
    const QList<QPoint> crisp = crispPoints(dc, outline, true);
    if (crisp.isEmpty()) {
        shape(dc, path, true);
        return;
    }
    DeviceContext unframed = dc;
    unframed.pen.style = PenNull;
    shape(unframed, path, true);
    if (prepare(dc))
        drawCrisp(dc, crisp);
}

// An inside-frame pen draws within the shape: the shape shrunk by half the pen.
QRectF PainterSink::insideFrame(const DeviceContext &dc, const QRectF &rect) const
{
    if ((dc.pen.style & PenStyleMask) != PenInsideFrame)
        return rect;
    const qreal half = penSize(dc).pixels / 2;
    return rect.adjusted(half, half, -half, -half);
}

void PainterSink::rectangle(const DeviceContext &dc, const QRectF &rect)
{
    QPainterPath path;
    path.addRect(insideFrame(dc, rect));
    // The platform frames a rectangle inside it: its right and bottom lines are the last
    // pixels the rectangle covers.
    const QPointF last = rect.bottomRight() - QPointF(1, 1);
    framed(dc, path,
           rect.width() >= 2 && rect.height() >= 2
               ? QPolygonF({rect.topLeft(), QPointF(last.x(), rect.top()), last,
                            QPointF(rect.left(), last.y())})
               : QPolygonF());
}

void PainterSink::roundRect(const DeviceContext &dc, const QRectF &rect, QSizeF corner)
{
    QPainterPath path;
    path.addRoundedRect(rect, std::min(corner.width() / 2, rect.width() / 2),
                        std::min(corner.height() / 2, rect.height() / 2));
    shape(dc, path, true);
}

void PainterSink::ellipse(const DeviceContext &dc, const QRectF &rect)
{
    QPainterPath path;
    path.addEllipse(insideFrame(dc, rect));
    shape(dc, path, true);
}

void PainterSink::arc(const DeviceContext &dc, ArcKind kind, const QRectF &rect, qreal start,
                      qreal sweep)
{
    QPainterPath path;
    switch (kind) {
    case ArcKind::Arc:
        path.arcMoveTo(rect, start);
        path.arcTo(rect, start, sweep);
        break;
    case ArcKind::Pie:
        path.moveTo(rect.center());
        path.arcTo(rect, start, sweep);
        path.closeSubpath();
        break;
    case ArcKind::Chord:
        path.arcMoveTo(rect, start);
        path.arcTo(rect, start, sweep);
        path.closeSubpath();
        break;
    }
    shape(dc, path, kind != ArcKind::Arc);
}

void PainterSink::setPixel(const DeviceContext &dc, QPointF point, QColor color)
{
    if (!prepare(dc))
        return;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.fillRect(QRectF(std::floor(point.x()), std::floor(point.y()), 1, 1), color);
}

namespace {

int colourDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// Which pixels a flood fill may reach, decided on the picture as it is: in surface mode those
// near the given colour; in border mode those nearer the seed's colour than the border's.
// Outlines are antialiased, so the border is then taken one pixel thicker, lest the fill slip
// through the lighter pixels of a thin diagonal line. Only inside the clip, when there is one.
std::vector<quint8> fillMask(const QImage &image, QRgb key, QRgb seed, bool surface,
                             const std::optional<QRegion> &clip)
{
    const int w = image.width(), h = image.height();
    const size_t count = size_t(w) * size_t(h);
    std::vector<quint8> open(count, 0);
    for (int y = 0; y < h; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        quint8 *row = open.data() + size_t(y) * w;
        for (int x = 0; x < w; ++x)
            row[x] = surface ? colourDistance(line[x], key) <= 48
                             : colourDistance(line[x], key) >= colourDistance(line[x], seed);
    }
    if (!surface) {
        std::vector<quint8> thick(open);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(y) * w + x;
                if ((x > 0 && !open[i - 1]) || (x + 1 < w && !open[i + 1]) ||
                    (y > 0 && !open[i - w]) || (y + 1 < h && !open[i + w]))
                    thick[i] = 0;
            }
        open.swap(thick);
    }
    if (clip) {
        std::vector<quint8> clipped(count, 0);
        for (const QRect &r : *clip) {
            const QRect c = r.intersected(image.rect());
            for (int y = c.top(); y <= c.bottom(); ++y)
                for (int x = c.left(); x <= c.right(); ++x)
                    clipped[size_t(y) * w + x] = open[size_t(y) * w + x];
        }
        open.swap(clipped);
    }
    return open;
}

// A scanline fill from (x0, y0) over the mask's open pixels; a filled pixel is closed behind it.
void scanlineFill(QImage &image, std::vector<quint8> &open, int x0, int y0, QRgb fill)
{
    const int w = image.width(), h = image.height();
    auto inside = [&](int x, int y) { return open[size_t(y) * w + x] != 0; };
    std::vector<QPoint> stack{{x0, y0}};
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        int x = p.x();
        const int y = p.y();
        if (!inside(x, y))
            continue;
        while (x > 0 && inside(x - 1, y))
            --x;
        bool up = false, down = false;
        for (; x < w && inside(x, y); ++x) {
            open[size_t(y) * w + x] = 0;
            reinterpret_cast<QRgb *>(image.scanLine(y))[x] = fill;
            if (y > 0) {
                const bool in = inside(x, y - 1);
                if (in && !up)
                    stack.push_back({x, y - 1});
                up = in;
            }
            if (y + 1 < h) {
                const bool in = inside(x, y + 1);
                if (in && !down)
                    stack.push_back({x, y + 1});
                down = in;
            }
        }
    }
}

} // namespace

void PainterSink::floodFill(const DeviceContext &dc, QPointF point, QColor color, bool surface)
{
    flush();
    const int w = m_image->width(), h = m_image->height();
    const int x0 = int(std::floor(point.x())), y0 = int(std::floor(point.y()));
    if (x0 < 0 || y0 < 0 || x0 >= w || y0 >= h || dc.brush.style == BrushNull)
        return;
    m_painter.end();
    const QRgb key = color.rgb() | 0xFF000000;
    const QRgb seed = reinterpret_cast<const QRgb *>(m_image->constScanLine(y0))[x0];
    std::vector<quint8> open = fillMask(*m_image, key, seed, surface, dc.clip);
    if ((surface || colourDistance(seed, key) > 48) && open[size_t(y0) * w + x0])
        scanlineFill(*m_image, open, x0, y0, dc.brush.color.rgb() | 0xFF000000);
    m_painter.begin(m_image);
}

void PainterSink::patBlt(const DeviceContext &dc, const QRectF &rect, quint32 rop)
{
    if (dc.clip && dc.clip->isEmpty())
        return;
    const DeviceContext plain = withCopyPen(dc);
    if (!prepare(plain))
        return;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    switch (rop) {
    case Dest:
        return;
    case Blackness:
        m_painter.fillRect(rect, Qt::black);
        return;
    case Whiteness:
        m_painter.fillRect(rect, Qt::white);
        return;
    case DstInvert:
        m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        m_painter.fillRect(rect, Qt::white);
        return;
    case PatInvert:
        m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        m_painter.fillRect(rect, brush(plain, dc.brush));
        return;
    default:
        if (dc.brush.style != BrushNull)
            m_painter.fillRect(rect, brush(plain, dc.brush));
        return;
    }
}

namespace {

// A run laid out along its baseline, before rotation: the font drawn at a fixed size and
// scaled (sizes need not be whole pixels), where each character starts, and the box.
struct Layout
{
    static constexpr int base = 100;
    QFont font;
    QString glyphs; // the text as the font's characters
    FaceMetrics face;
    qreal em = 0;      // pixels
    qreal scale = 1;   // pixels per font unit
    qreal stretch = 1; // across, on top of scale
    qreal smear = 0;   // pixels each glyph is smeared along the baseline: made-up bold
    QList<qreal> starts;
    bool spaced = false;
    qreal width = 0, ascent = 0, descent = 0;
    qreal x = 0, y = 0; // the first character's origin from the reference point
};

// The platform emboldens a face that has no bold of its own by smearing each glyph along the
// baseline, a fiftieth of the em but at least a pixel, and widens each character's advance by
// as much.
constexpr qreal smearPerEm = 1.0 / 50;

// The run's font at Layout::base pixels: its face (the regular one for made-up bold), its
// glyphs and its family with the fallbacks a symbol face needs.
void chooseFont(const TextRun &run, int weight, Layout *l)
{
    l->face = faceMetrics(run.family, weight, run.italic);
    l->glyphs = l->face.symbolEncoded ? toSymbolEncoding(run.text) : run.text;
    l->font = QFont(run.family);
    if (!l->face.fallbacks.isEmpty())
        l->font.setFamilies(QStringList{run.family} + l->face.fallbacks);
    l->font.setStyleStrategy(QFont::PreferAntialias);
    l->font.setHintingPreference(QFont::PreferNoHinting);
    l->font.setKerning(false); // the platform's text records space by the advances alone
    l->font.setWeight(QFont::Weight(weight));
    l->font.setItalic(run.italic);
    l->font.setPixelSize(Layout::base);
}

// Where each character starts, when the run is spaced character by character, and the run's
// width, in pixels.
void placeCharacters(const TextRun &run, const QFontMetricsF &fm, Layout *l)
{
    const qreal s = l->scale;
    // Made-up bold moves each character by its smear: character by character, as spacing does.
    l->spaced = !run.advances.isEmpty() || !run.rises.isEmpty() || run.extraPerChar != 0 ||
                run.extraPerBreak != 0 || l->smear > 0;
    if (!l->spaced) {
        l->width = fm.horizontalAdvance(l->glyphs) * s * l->stretch;
        return;
    }
    qreal width = 0;
    l->starts.reserve(l->glyphs.size());
    for (qsizetype i = 0; i < l->glyphs.size(); ++i) {
        l->starts.append(width);
        if (i < run.advances.size()) {
            width += run.advances[i];
        } else if (!l->glyphs.at(i).isLowSurrogate()) {
            const bool pair = l->glyphs.at(i).isHighSurrogate() && i + 1 < l->glyphs.size();
            width += fm.horizontalAdvance(l->glyphs.mid(i, pair ? 2 : 1)) * s * l->stretch +
                     run.extraPerChar + l->smear;
            if (l->glyphs.at(i) == u' ')
                width += run.extraPerBreak;
        }
    }
    l->width = width;
}

// The first character's origin from the reference point, as the run's alignment asks.
void align(const TextRun &run, Layout *l)
{
    switch (run.align & AlignHorizontalMask) {
    case AlignRight:
        l->x = -l->width;
        break;
    case AlignCenter:
        l->x = -l->width / 2;
        break;
    default:
        break;
    }
    switch (run.align & AlignVerticalMask) {
    case AlignBaseline:
        break;
    case AlignBottom:
        l->y = -l->descent;
        break;
    default:
        l->y = l->ascent;
        break;
    }
}

// False when there is nothing to draw: no fonts (no QGuiApplication), no text, or a size
// nobody could read (text far larger than any picture also costs much to draw).
bool layOut(const TextRun &run, Layout *l)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()) || run.text.isEmpty())
        return false;
    qreal em = std::abs(run.emPixels);
    const bool madeUpBold = run.weight >= 600 && !hasBoldStyle(run.family);
    chooseFont(run, madeUpBold ? 400 : run.weight, l);
    const QFontMetricsF fm(l->font);
    if (run.emPixels > 0 && fm.ascent() + fm.descent() > 0)
        em = em * Layout::base / (fm.ascent() + fm.descent()); // cell height to character height
    if (em < 0.3 || em > 16384)
        return false;
    l->em = em;
    const qreal s = l->scale = em / Layout::base;
    if (run.widthPixels > 0)
        l->stretch = std::clamp(run.widthPixels / (l->face.averageWidth * em), 0.05, 20.0);
    if (madeUpBold)
        l->smear = std::max(1.0, em * smearPerEm);
    placeCharacters(run, fm, l);
    l->ascent = fm.ascent() * s;
    l->descent = fm.descent() * s;
    align(run, l);
    return true;
}

QTransform placement(const TextRun &run)
{
    QTransform t;
    t.translate(run.reference.x(), run.reference.y());
    t.rotate(-run.angle);
    return t;
}

} // namespace

QRectF textBounds(const TextRun &run, qreal *advance)
{
    Layout l;
    if (advance)
        *advance = 0;
    if (!layOut(run, &l))
        return {};
    if (advance)
        *advance = l.width;
    qreal low = 0, high = 0;
    for (qreal r : run.rises) {
        low = std::min(low, r);
        high = std::max(high, r);
    }
    const QRectF box(l.x, l.y - l.ascent - high, l.width, l.ascent + l.descent + high - low);
    return placement(run).mapRect(box);
}

namespace {

// The glyphs in the given colour, on a painter that holds the run's frame.
void drawGlyphs(QPainter &p, const Layout &l, const TextRun &run, const QColor &color)
{
    const qreal across = l.scale * l.stretch;
    const qreal ux = l.x / across, uy = l.y / l.scale;
    p.scale(across, l.scale);
    p.setFont(l.font);
    p.setPen(color);
    p.setBackgroundMode(Qt::TransparentMode);
    if (!l.spaced) {
        p.drawText(QPointF(ux, uy), l.glyphs);
        return;
    }
    for (qsizetype i = 0; i < l.glyphs.size(); ++i) {
        const QChar c = l.glyphs.at(i);
        const QPointF at(ux + l.starts[i] / across, uy - run.rises.value(i) / l.scale);
        if (c.isHighSurrogate() && i + 1 < l.glyphs.size()) {
            p.drawText(at, l.glyphs.mid(i, 2));
            ++i;
        } else if (!c.isSpace()) {
            p.drawText(at, QString(c));
        }
    }
}

// Underline or strikeout: one bar under the whole run, spaces and all, at the face's own place
// and thickness (in ems, down from the baseline). Along the axes it covers whole pixels, at
// least one.
void drawBar(QPainter &painter, const DeviceContext &dc, const TextRun &run, const Layout &l,
             qreal top, qreal thickness)
{
    QRectF r(l.x, l.y + top * l.em, l.width, std::max(thickness * l.em, 1.0));
    if (std::fmod(run.angle, 360.0) == 0) {
        const QPointF at = run.reference;
        const qreal y0 = std::round(at.y() + r.top());
        const qreal x0 = std::round(at.x() + r.left());
        r = QRectF(x0 - at.x(), y0 - at.y(), std::round(at.x() + r.right()) - x0,
                   std::max(1.0, std::round(r.height())));
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    painter.fillRect(r, dc.textColor);
    painter.setRenderHint(QPainter::Antialiasing, true);
}

// One row of a coverage mask smeared to the right: each pixel the most of the `reach` whole
// pixels to its left and itself, and of the next one to the left in part (`part` of 256).
// window is the caller's, kept between rows.
void smearRow(const uchar *in, uchar *out, int width, int reach, int part, std::vector<int> &window)
{
    window.clear(); // indices whose coverage falls from the oldest on
    size_t oldest = 0;
    for (int x = 0; x < width; ++x) {
        while (window.size() > oldest && in[window.back()] <= in[x])
            window.pop_back();
        window.push_back(x);
        if (window[oldest] < x - reach)
            ++oldest;
        int v = in[window[oldest]];
        if (part > 0 && x - reach - 1 >= 0)
            v = std::max(v, in[x - reach - 1] * part / 256);
        out[x] = uchar(v);
    }
}

// Made-up bold: the glyphs drawn once into a coverage mask laid along the baseline, each row of
// it smeared to the right by the layout's smear, then painted in the text colour. Only the part
// that can show on canvas is drawn, and unrotated the mask lies on whole pixels of the picture.
void drawSmeared(QPainter &painter, const QRect &canvas, const Layout &l, const TextRun &run,
                 const DeviceContext &dc)
{
    // Where in the run's frame the glyphs may draw.
    const QRectF reach(l.x - l.em, l.y - l.ascent - l.em, l.width + 2 * l.em,
                       l.ascent + l.descent + 2 * l.em);
    const QTransform place = painter.transform();
    QRectF shown(canvas);
    if (dc.clip)
        shown &= QRectF(dc.clip->boundingRect());
    if (run.options & TextClipped)
        shown &= run.rect;
    const QRectF box = reach & place.inverted().mapRect(shown).adjusted(-l.smear - 1, -1, 1, 1);
    if (box.isEmpty())
        return;
    const QPointF at(std::floor(place.dx() + box.left()) - place.dx(),
                     std::floor(place.dy() + box.top()) - place.dy());
    const QSize size(int(std::ceil(box.right() - at.x())), int(std::ceil(box.bottom() - at.y())));
    if (size.isEmpty() || qint64(size.width()) * size.height() > 128LL * 1024 * 1024)
        return;
    QImage mask(size, QImage::Format_Alpha8);
    if (mask.isNull())
        return;
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(-at);
        drawGlyphs(p, l, run, Qt::black);
    }
    const int whole = int(l.smear);
    const int part = int((l.smear - whole) * 256);
    QImage ink(size, QImage::Format_ARGB32_Premultiplied);
    if (ink.isNull())
        return;
    std::vector<uchar> row(size_t(size.width()));
    std::vector<int> window;
    window.reserve(size_t(size.width()));
    const QRgb color = dc.textColor.rgb();
    for (int y = 0; y < size.height(); ++y) {
        smearRow(mask.constScanLine(y), row.data(), size.width(), whole, part, window);
        QRgb *line = reinterpret_cast<QRgb *>(ink.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qPremultiply(qRgba(qRed(color), qGreen(color), qBlue(color), row[size_t(x)]));
    }
    painter.drawImage(at, ink);
}

} // namespace

qreal PainterSink::text(const DeviceContext &dc, const TextRun &run)
{
    const DeviceContext plain = withCopyPen(dc);
    if (!prepare(plain))
        return 0;
    m_painter.save();
    if (run.options & TextClipped)
        m_painter.setClipRect(run.rect, dc.clip ? Qt::IntersectClip : Qt::ReplaceClip);
    if (run.options & TextOpaque)
        m_painter.fillRect(run.rect, dc.bkColor);
    Layout l;
    if (!layOut(run, &l)) {
        m_painter.restore();
        return 0;
    }
    m_painter.setTransform(placement(run), true);
    if (dc.bkMode == BkOpaque && !(run.options & TextOpaque))
        m_painter.fillRect(QRectF(l.x, l.y - l.ascent, l.width, l.ascent + l.descent), dc.bkColor);

    if (run.underline)
        drawBar(m_painter, dc, run, l, l.face.underlineTop, l.face.underlineThickness);
    if (run.strikeOut)
        drawBar(m_painter, dc, run, l, -l.face.strikeOutTop, l.face.strikeOutThickness);
    if (l.smear > 0)
        drawSmeared(m_painter, m_image->rect(), l, run, dc);
    else
        drawGlyphs(m_painter, l, run, dc.textColor);
    m_painter.restore();
    return l.width;
}

void PainterSink::fillPath(const DeviceContext &dc, const QPainterPath &path, const Brush &b)
{
    if (!prepare(dc))
        return;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.fillPath(path, brush(dc, b));
}

void PainterSink::framePath(const DeviceContext &dc, const QPainterPath &path, const Brush &b,
                            QSizeF frame)
{
    if (!prepare(dc))
        return;
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setClipPath(path, dc.clip ? Qt::IntersectClip : Qt::ReplaceClip);
    m_painter.strokePath(
        path, QPen(brush(dc, b), 2 * std::max<qreal>(1, std::max(frame.width(), frame.height()))));
    m_painter.restore();
}

void PainterSink::invertPath(const DeviceContext &dc, const QPainterPath &path)
{
    const DeviceContext plain = withCopyPen(dc);
    if (!prepare(plain))
        return;
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    m_painter.fillPath(path, Qt::white);
}

namespace {

// A mask with levels between black and white: a grey picture, not one of two colours (a
// two-level mask is drawn bit by bit, as written).
bool isGreyMask(const QImage &image)
{
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB ||
        qint64(image.width()) * image.height() > 16LL * 1024 * 1024)
        return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    bool between = false;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            if (qRed(line[x]) != qGreen(line[x]) || qGreen(line[x]) != qBlue(line[x]))
                return false;
            between = between || (qGreen(line[x]) != 0 && qGreen(line[x]) != 255);
        }
    }
    return between;
}

bool sameRect(const QRectF &a, const QRectF &b)
{
    return std::abs(a.left() - b.left()) < 0.5 && std::abs(a.top() - b.top()) < 0.5 &&
           std::abs(a.right() - b.right()) < 0.5 && std::abs(a.bottom() - b.bottom()) < 0.5;
}

} // namespace

void PainterSink::flush()
{
    if (!m_mask)
        return;
    const Mask mask = std::move(*m_mask);
    m_mask.reset();
    blit(mask.dc, mask.dest, mask.image, mask.source, mask.rop);
}

void PainterSink::bitmap(const DeviceContext &dc, const QRectF &dest, const QImage &image,
                         const QRectF &source, quint32 rop)
{
    if (m_mask && sameRect(m_mask->dest, dest) &&
        ((m_mask->rop == SrcPaint && rop == SrcAnd) ||
         (m_mask->rop == SrcAnd && rop == SrcPaint))) {
        // The picture the held mask belongs to. White in a SRCPAINT mask is where the picture
        // shows (it whitens the ground that SRCAND then darkens to the picture); black in a
        // SRCAND mask likewise. Levels between are partly transparent: blend, not bit by bit.
        const Mask mask = std::move(*m_mask);
        m_mask.reset();
        QImage alpha = mask.image.copy(mask.source.toAlignedRect())
                           .scaled(source.toAlignedRect().size())
                           .convertToFormat(QImage::Format_RGB32);
        QImage picture = image.copy(source.toAlignedRect()).convertToFormat(QImage::Format_ARGB32);
        const bool whiteShows = mask.rop == SrcPaint;
        for (int y = 0; y < picture.height() && y < alpha.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            const QRgb *a = reinterpret_cast<const QRgb *>(alpha.constScanLine(y));
            for (int x = 0; x < picture.width() && x < alpha.width(); ++x) {
                const int level = whiteShows ? qGreen(a[x]) : 255 - qGreen(a[x]);
                line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), level);
            }
        }
        const DeviceContext plain = withCopyPen(dc);
        if (!prepare(plain))
            return;
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform,
                                dest.width() < source.width() ||
                                    dc.stretchBltMode == StretchHalftone);
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        m_painter.drawImage(dest, picture);
        return;
    }
    flush();
    if ((rop == SrcPaint || rop == SrcAnd) && isGreyMask(image)) {
        m_mask = Mask{dc, dest, image, source, rop};
        return;
    }
    blit(dc, dest, image, source, rop);
}

void PainterSink::blit(const DeviceContext &dc, const QRectF &dest, const QImage &image,
                       const QRectF &source, quint32 rop)
{
    const DeviceContext plain = withCopyPen(dc);
    if (!prepare(plain))
        return;
    if (rop == PaintBrushThroughBlack || rop == PaintBrushThroughWhite) {
        // Paint the brush colour where the source has the chosen colour, keep the rest.
        QImage src = image.copy(source.toAlignedRect()).convertToFormat(QImage::Format_ARGB32);
        const QRgb paint = dc.brush.color.rgb();
        const bool throughBlack = rop == PaintBrushThroughBlack;
        for (int y = 0; y < src.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(src.scanLine(y));
            for (int x = 0; x < src.width(); ++x) {
                const bool black = qGray(line[x]) < 128;
                line[x] = black == throughBlack ? paint : 0;
            }
        }
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        m_painter.drawImage(dest, src);
        return;
    }
    const QPainter::CompositionMode mode = blitMode(rop);
    m_painter.setCompositionMode(mode);
    const bool plainCopy = mode == QPainter::CompositionMode_SourceOver;
    m_painter.setRenderHint(
        QPainter::SmoothPixmapTransform,
        plainCopy && (dest.width() < source.width() || dc.stretchBltMode == StretchHalftone));
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.drawImage(dest, image, source);
}

} // namespace wmf
