// What the parser's record handlers share: the record numbers, the readers of little-endian
// parameters, and the shape of the record table.
#pragma once

#include "wmfparser.h"

#include "picture/bytes.h"

#include <QPointF>
#include <QRectF>

namespace wmf {

using picture::Reason;
using picture::Refusal;
using picture::refused;

enum Function : quint16 {
    Eof = 0x0000,
    RealizePalette = 0x0035,
    SetPalEntries = 0x0037,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    SetRelAbs = 0x0105,
    SetPolyFillMode = 0x0106,
    SetStretchBltMode = 0x0107,
    SetTextCharExtra = 0x0108,
    RestoreDc = 0x0127,
    ResizePalette = 0x0139,
    DibCreatePatternBrush = 0x0142,
    SetLayout = 0x0149,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    OffsetClipRgn = 0x0220,
    FillRegion = 0x0228,
    SetMapperFlags = 0x0231,
    SelectPalette = 0x0234,
    Polygon = 0x0324,
    Polyline = 0x0325,
    SetTextJustification = 0x020A,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    ScaleWindowExt = 0x0410,
    ScaleViewportExt = 0x0412,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    FloodFill = 0x0419,
    FrameRegion = 0x0429,
    AnimatePalette = 0x0436,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    ExtFloodFill = 0x0548,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    SaveDc = 0x001E,
    Pie = 0x081A,
    StretchBlt = 0x0B23,
    Escape = 0x0626,
    InvertRegion = 0x012A,
    PaintRegion = 0x012B,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    Arc = 0x0817,
    Chord = 0x0830,
    BitBlt = 0x0922,
    ExtTextOut = 0x0A32,
    SetDiBitsToDevice = 0x0D33,
    DibBitBlt = 0x0940,
    DibStretchBlt = 0x0B41,
    StretchDib = 0x0F43,
    DeleteObject = 0x01F0,
    CreatePalette = 0x00F7,
    CreatePatternBrush = 0x01F9,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    CreateRegion = 0x06FF,
};

using picture::s16;
using picture::u16;
using picture::u32;

// A point stored y first.
inline QPointF pointAt(QByteArrayView p, qsizetype at)
{
    return QPointF(s16(p, at + 2), s16(p, at));
}

// Left, top, right, bottom stored backwards: bottom, right, top, left.
inline QRectF rectAt(QByteArrayView p, qsizetype at)
{
    return QRectF(QPointF(s16(p, at + 6), s16(p, at + 4)), QPointF(s16(p, at + 2), s16(p, at)));
}

// One kind of record: the bytes of fixed parameters it must carry before any of them is read
// (records whose length depends on their content check the rest where they read it), and
// what plays it; none for records skipped by their size.
struct Parser::RecordType
{
    quint16 function;
    qsizetype fixedBytes;
    Handler handler;
};

} // namespace wmf
