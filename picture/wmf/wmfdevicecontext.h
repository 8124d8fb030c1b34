// The state a metafile changes as it plays: mapping, selected objects, colours and clipping.
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QSizeF>
#include <QString>

#include <optional>

namespace wmf {

enum class MapMode : quint16 {
    Text = 1,
    LoMetric = 2,
    HiMetric = 3,
    LoEnglish = 4,
    HiEnglish = 5,
    Twips = 6,
    Isotropic = 7,
    Anisotropic = 8,
};

// Logical coordinates to picture pixels. The metafile moves the window and viewport; the
// player (the renderer) sets the starting values and a final scale and offset that put the
// metafile's frame onto the picture, and those the metafile cannot change.
struct Mapping
{
    MapMode mode = MapMode::Anisotropic;
    QPointF windowOrg{0, 0};
    QSizeF windowExt{1, 1}; // never zero in either direction
    QPointF viewportOrg{0, 0};
    QSizeF viewportExt{1, 1}; // never zero in either direction
    qreal deviceScaleX = 1, deviceScaleY = 1;
    qreal deviceDx = 0, deviceDy = 0;

    qreal scaleX() const; // picture pixels per logical unit, signed
    qreal scaleY() const;
    QPointF map(QPointF logical) const;
    QPointF mapSize(QPointF logicalDelta) const; // a distance, without the origins
    QRectF mapRect(const QRectF &logical) const; // normalized
};

// Pen style bits as a metafile stores them.
enum PenStyle : quint16 {
    PenSolid = 0,
    PenDash = 1,
    PenDot = 2,
    PenDashDot = 3,
    PenDashDotDot = 4,
    PenNull = 5,
    PenInsideFrame = 6,
    PenStyleMask = 0x000F,
    PenEndCapSquare = 0x0100,
    PenEndCapFlat = 0x0200,
    PenEndCapMask = 0x0F00,
    PenJoinBevel = 0x1000,
    PenJoinMiter = 0x2000,
    PenJoinMask = 0xF000,
};

struct Pen
{
    quint16 style = PenSolid;
    qint16 width = 0; // logical units; 0 is one pixel whatever the mapping
    QColor color = Qt::black;
};

enum BrushStyle : quint16 {
    BrushSolid = 0,
    BrushNull = 1,
    BrushHatched = 2,
    BrushPattern = 3,
    BrushDibPattern = 5,
    BrushDibPatternPt = 6,
};

struct Brush
{
    quint16 style = BrushSolid;
    QColor color = Qt::white;
    quint16 hatch = 0; // 0 horizontal, 1 vertical, 2 "\", 3 "/", 4 cross, 5 diagonal cross
    QImage pattern;    // BrushPattern, BrushDibPattern: the tile; a one-bit tile is kept as
                       // Format_Mono so text and background colours can paint it
};

struct Font
{
    qint16 height = 0;     // logical units; negative: character height, positive: cell height
    qint16 width = 0;      // average character width, logical units; 0: the face's own
    qint16 escapement = 0; // tenths of a degree, counter-clockwise
    qint16 weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    quint8 charSet = 0;
    quint8 pitchAndFamily = 0;
    QString face; // decoded with the character set's own encoding
};

struct Palette
{
    QList<QRgb> colors;
};

// A region as the metafile gives it: rectangles in logical coordinates.
struct Region
{
    QList<QRect> rects;
};

enum BkMode : quint16 { BkTransparent = 1, BkOpaque = 2 };

enum PolyFillMode : quint16 { FillAlternate = 1, FillWinding = 2 };

// The one raster operation of pens this code names: the pen's colour, as it is.
constexpr quint16 Rop2CopyPen = 13;

// The stretch mode that averages the pixels a shrunk bitmap loses.
constexpr quint16 StretchHalftone = 4;

// Text alignment flags.
enum TextAlign : quint16 {
    AlignUpdateCp = 0x0001,
    AlignRight = 0x0002,
    AlignCenter = 0x0006,
    AlignHorizontalMask = 0x0006,
    AlignBottom = 0x0008,
    AlignBaseline = 0x0018,
    AlignVerticalMask = 0x0018,
};

struct DeviceContext
{
    Mapping mapping;
    Pen pen;
    Brush brush;
    Font font;
    Palette palette;
    QColor bkColor = Qt::white;
    QColor textColor = Qt::black;
    quint16 bkMode = BkOpaque;
    quint16 textAlign = 0;
    quint16 polyFillMode = FillAlternate;
    quint16 rop2 = Rop2CopyPen;
    quint16 stretchBltMode = 1;
    qint16 textCharExtra = 0;      // logical units
    qint16 breakExtra = 0;         // SetTextJustification: extra space, logical units
    qint16 breakCount = 0;         // ... shared by this many break characters
    QPointF currentPosition{0, 0}; // logical
    std::optional<QRegion> clip;   // picture pixels; none: the whole picture
};

// The same context with the copy pen: for what draws in the text, background or bitmap's own
// colours, which the pen's raster operation does not change.
DeviceContext withCopyPen(DeviceContext dc);

// The width the selected pen draws, in picture pixels.
struct PenSize
{
    qreal pixels = 0;      // 0 for the null pen, else at least one
    bool hairline = false; // a zero-width pen, or one thinner than a pixel: one pixel wide
};
PenSize penSize(const DeviceContext &dc);

} // namespace wmf
