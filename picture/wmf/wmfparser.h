// Reads a Windows Metafile record by record and turns each into calls on a Sink.
#pragma once

#include "wmfdevicecontext.h"
#include "wmfsink.h"

#include "loading/limits.h"
#include "loading/refusal.h"

#include <QByteArrayView>
#include <QList>
#include <QPolygonF>
#include <QRect>
#include <QString>

#include <variant>
#include <vector>

namespace wmf {

// What a metafile may hold. Files beyond any of these are refused.
// The sizes follow from the limits of every picture (loading/limits.h): Limits::within().
struct Limits
{
    // Picture pixels a side and in all (larger ones are scaled down). At its own size a
    // metafile keeps to half the side a picture may have, so that it can be drawn again
    // larger, as vectors.
    int maxSide = picture::MaxSide / 2;
    qint64 maxPixels = picture::MaxPixels;
    // A metafile without the placeable header says nothing of its units; the window sizes
    // such files set are mostly in hundredths of a millimetre or in twips, far larger than
    // their pictures were meant to be. They are scaled down to this longest side.
    int maxPlainSide = 2048;
    qint64 maxRecords = 1000000; // records in a file
    int maxSaveDepth = 1024;     // SaveDC without RestoreDC
    int maxObjects = 65535;      // slots in the object table
    // Pixels of one embedded bitmap; of pattern brushes held at once; of all bitmaps decoded
    // in a pass.
    qint64 maxBitmapPixels = picture::MaxPixels / 2;
    qint64 maxHeldBitmapPixels = picture::MaxPixels;
    qint64 maxDecodedPixels = 8 * picture::MaxPixels;
    qint64 maxPoints = 1000000; // points in one poly-polygon
    int maxRegionRects = 10000; // rectangles in one region

    // The limits of a metafile made into a picture within picture's limits: at its own size,
    // or drawn again at a size asked for (redrawn), which may take the whole side.
    static Limits within(const picture::Limits &picture, bool redrawn)
    {
        Limits limits;
        limits.maxSide = redrawn ? picture.maxSide : picture.maxSide / 2;
        limits.maxPixels = picture.maxPixels;
        limits.maxBitmapPixels = picture.maxPixels / 2;
        limits.maxHeldBitmapPixels = picture.maxPixels;
        limits.maxDecodedPixels = 8 * picture.maxPixels;
        return limits;
    }
};

struct Header
{
    bool placeable = false;
    qint16 left = 0, top = 0, right = 0, bottom = 0; // placeable: the frame, logical units
    quint16 unitsPerInch = 0;                        // placeable: logical units an inch
    quint16 objectCount = 0;
    qsizetype recordsStart = 0;
};

// What a pass learnt about the frame the metafile sets for itself.
struct PlayStats
{
    qint64 records = 0;
    bool windowExtSet = false;
    bool viewportExtSet = false;
    bool frameTaken = false; // window (and map mode) as they stood at the first drawing
    QPointF frameWindowOrg;
    QSizeF frameWindowExt;
    QSizeF frameViewportExt;
    MapMode frameMode = MapMode::Anisotropic;
    bool drew = false;
};

class Parser
{
public:
    explicit Parser(QByteArrayView data, const Limits &limits = {});

    // Checks the header; false and why when it is not a metafile we can read.
    bool readHeader(picture::Refusal *refusal);
    const Header &header() const { return m_header; }

    // Plays every record into sink, starting from `start`. playerFrame: the player has put
    // the metafile's frame onto the picture, so the viewport records and the fixed mapping
    // modes (which would move it off) are not taken from the metafile, as other players do.
    // False and why when the file is malformed or over a limit; what was drawn until then
    // stays drawn.
    bool play(Sink &sink, const Mapping &start, bool playerFrame, picture::Refusal *refusal);
    const PlayStats &stats() const { return m_stats; }

private:
    using Object = std::variant<Pen, Brush, Font, Palette, Region>;

    bool record(quint16 function, QByteArrayView params);
    bool fail(picture::Reason reason, QStringList details = {});
    bool malformed();
    void drawing();
    int addObject(Object object);
    const Object *object(quint16 index) const;
    QColor colorRef(QByteArrayView params, qsizetype at) const;
    QPainterPath regionPath(const Region &region) const;
    QRegion deviceRegion(const Region &region) const;
    QRect deviceRect(const QRectF &logical) const;
    void setClip(const QRegion &region) { m_dc.clip = region; }
    bool decodeBitmapParam(QByteArrayView bytes, quint16 colorUsage, bool dib, QImage *out);
    qint64 heldPixels(const Object &o) const;
    bool tooManyObjects();

    // The record table: for each record it knows, sorted by function number, what the record
    // must hold and which of the handlers below plays it.
    using Handler = bool (Parser::*)(quint16 function, QByteArrayView params);
    struct RecordType;
    static const RecordType RecordTypes[];
    static const RecordType *recordType(quint16 function);

    // Device context state, in wmfrecords_state.cpp.
    bool saveDc(quint16 function, QByteArrayView p);
    bool restoreDc(quint16 function, QByteArrayView p);
    bool setMapMode(quint16 function, QByteArrayView p);
    bool setWindowOrg(quint16 function, QByteArrayView p);
    bool setWindowExt(quint16 function, QByteArrayView p);
    bool setViewportOrg(quint16 function, QByteArrayView p);
    bool setViewportExt(quint16 function, QByteArrayView p);
    bool offsetWindowOrg(quint16 function, QByteArrayView p);
    bool offsetViewportOrg(quint16 function, QByteArrayView p);
    bool scaleExt(quint16 function, QByteArrayView p);
    bool setBkColor(quint16 function, QByteArrayView p);
    bool setTextColor(quint16 function, QByteArrayView p);
    bool setBkMode(quint16 function, QByteArrayView p);
    bool setTextAlign(quint16 function, QByteArrayView p);
    bool setPolyFillMode(quint16 function, QByteArrayView p);
    bool setRop2(quint16 function, QByteArrayView p);
    bool setStretchBltMode(quint16 function, QByteArrayView p);
    bool setTextCharExtra(quint16 function, QByteArrayView p);
    bool setTextJustification(quint16 function, QByteArrayView p);
    bool clipRect(quint16 function, QByteArrayView p);
    bool offsetClipRgn(quint16 function, QByteArrayView p);
    // The object table, in wmfrecords_objects.cpp.
    bool createPenIndirect(quint16 function, QByteArrayView p);
    bool createBrushIndirect(quint16 function, QByteArrayView p);
    bool createPatternBrush(quint16 function, QByteArrayView p);
    bool createFontIndirect(quint16 function, QByteArrayView p);
    bool createPalette(quint16 function, QByteArrayView p);
    bool createRegion(quint16 function, QByteArrayView p);
    bool selectObject(quint16 function, QByteArrayView p);
    bool selectPalette(quint16 function, QByteArrayView p);
    bool deleteObject(quint16 function, QByteArrayView p);
    bool selectClipRegion(quint16 function, QByteArrayView p);
    // Lines and shapes, in wmfrecords_drawing.cpp.
    bool moveTo(quint16 function, QByteArrayView p);
    bool lineTo(quint16 function, QByteArrayView p);
    bool poly(quint16 function, QByteArrayView p);
    bool polyPolygon(quint16 function, QByteArrayView p);
    bool box(quint16 function, QByteArrayView p);
    bool roundRect(quint16 function, QByteArrayView p);
    bool arc(quint16 function, QByteArrayView p);
    bool setPixel(quint16 function, QByteArrayView p);
    bool floodFill(quint16 function, QByteArrayView p);
    bool extFloodFill(quint16 function, QByteArrayView p);
    bool patBlt(quint16 function, QByteArrayView p);
    bool fillFrameRegion(quint16 function, QByteArrayView p);
    bool invertPaintRegion(quint16 function, QByteArrayView p);
    // Bitmaps, in wmfrecords_bitmaps.cpp.
    bool blit(quint16 function, QByteArrayView p);
    // Text, in wmfrecords_text.cpp.
    bool text(quint16 function, QByteArrayView p);

    QByteArrayView m_data;
    Limits m_limits;
    Header m_header;
    PlayStats m_stats;
    Sink *m_sink = nullptr;
    DeviceContext m_dc;
    QList<DeviceContext> m_saved;
    std::vector<std::optional<Object>> m_objects;
    size_t m_firstFree = 0;
    bool m_playerFrame = false; // the player sets the frame: the metafile's viewport is not taken
    qint64 m_recordIndex = 0;
    qint64 m_heldPixels = 0;
    qint64 m_decodedPixels = 0;
    picture::Refusal m_refusal;
};

} // namespace wmf
