// What the metafile parser decodes, seen through the recording sink (no pixels).
#include "picture/wmf/wmfparser.h"
#include "picture/wmf/wmfrecordingsink.h"
#include "picture/wmf/wmftext.h"
#include "wmfwriter.h"

#include <QTest>

Q_DECLARE_METATYPE(wmf::Limits)

using namespace Qt::Literals::StringLiterals;
using wmftest::Writer;

namespace {

struct Played
{
    bool ok = false;
    QString error;
    QStringList calls;
    QList<wmf::TextRun> texts;
    QList<QImage> images;
};

// Plays a metafile as it stands, starting from a one-to-one mapping.
Played play(const QByteArray &file, const wmf::Limits &limits = {})
{
    Played r;
    wmf::Parser parser(file, limits);
    wmf::RecordingSink sink;
    r.ok = parser.readHeader(&r.error) && parser.play(sink, wmf::Mapping(), false, &r.error);
    r.calls = sink.calls;
    r.texts = sink.texts;
    r.images = sink.images;
    return r;
}

QByteArray dib24(int w, int h)
{
    const int stride = (w * 3 + 3) / 4 * 4;
    return wmftest::dib(w, h, 24, {}, QByteArray(qsizetype(stride) * h, '\x40'));
}

QByteArray rop(quint32 r)
{
    QByteArray b;
    wmftest::put32(b, r);
    return b;
}

} // namespace

class TestWmfParser : public QObject
{
    Q_OBJECT

private slots:
    void records_data();
    void records();
    void mapping_data();
    void mapping();
    void state_data();
    void state();
    void textEncoding_data();
    void textEncoding();
    void textPairs();
    void textRun();
    void limits_data();
    void limits();
    void malformed_data();
    void malformed();
};

void TestWmfParser::records_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected"); // the calls, each the start of its line

    QTest::newRow("Rectangle") << Writer(false).rectangle(10, 20, 40, 60).finish()
                               << QStringList{
                                      u"rectangle 10,20 30x40 pen=#000000/0/0 brush=#ffffff/0"_s};
    QTest::newRow("Ellipse") << Writer(false).ellipse(10, 20, 40, 60).finish()
                             << QStringList{u"ellipse 10,20 30x40"_s};
    QTest::newRow("RoundRect") << Writer(false).roundRect(10, 20, 40, 60, 8, 6).finish()
                               << QStringList{u"roundrect 10,20 30x40 8x6"_s};
    QTest::newRow("Arc") << Writer(false).arc(0x0817, 0, 0, 100, 100, {100, 50}, {50, 0}).finish()
                         << QStringList{u"arc 0,0 100x100 0 90"_s};
    QTest::newRow("Pie") << Writer(false).arc(0x081A, 0, 0, 100, 100, {50, 0}, {0, 50}).finish()
                         << QStringList{u"pie 0,0 100x100 90 90"_s};
    QTest::newRow("Chord") << Writer(false).arc(0x0830, 0, 0, 100, 100, {0, 50}, {100, 50}).finish()
                           << QStringList{u"chord 0,0 100x100 180 180"_s};
    QTest::newRow("Arc, same start and end: whole ellipse")
        << Writer(false).arc(0x0817, 0, 0, 100, 50, {100, 25}, {100, 25}).finish()
        << QStringList{u"arc 0,0 100x50 0 360"_s};
    QTest::newRow("MoveTo, LineTo")
        << Writer(false).moveTo(5, 5).lineTo(15, 25).lineTo(0, 0).finish()
        << QStringList{u"polyline 5,5 15,25"_s, u"polyline 15,25 0,0"_s};
    QTest::newRow("Polyline") << Writer(false).polyline({{0, 0}, {10, 5}, {20, 0}}).finish()
                              << QStringList{u"polyline 0,0 10,5 20,0"_s};
    QTest::newRow("Polygon") << Writer(false).polygon({{0, 0}, {10, 0}, {10, 10}}).finish()
                             << QStringList{u"polygon [0,0 10,0 10,10] fill=1"_s};
    QTest::newRow("PolyPolygon, winding")
        << Writer(false)
               .setPolyFillMode(2)
               .polyPolygon({{{0, 0}, {10, 0}, {10, 10}}, {{20, 20}, {30, 20}, {30, 30}}})
               .finish()
        << QStringList{u"polygon [0,0 10,0 10,10] [20,20 30,20 30,30] fill=2"_s};
    QTest::newRow("Polygon of no points draws nothing")
        << Writer(false).polygon({}).rectangle(0, 0, 1, 1).finish()
        << QStringList{u"rectangle 0,0 1x1"_s};
    QTest::newRow("SetPixel") << Writer(false).setPixel(3, 4, Qt::red).finish()
                              << QStringList{u"pixel 3,4 #ff0000"_s};
    QTest::newRow("ExtFloodFill") << Writer(false).extFloodFill(7, 8, Qt::blue, 1).finish()
                                  << QStringList{u"floodfill 7,8 #0000ff surface"_s};
    QTest::newRow("FloodFill") << Writer(false).record(0x0419, {0x00FF, 0, 8, 7}).finish()
                               << QStringList{u"floodfill 7,8 #ff0000 border"_s};
    QTest::newRow("PatBlt") << Writer(false).patBlt(1, 2, 3, 4, 0x00F00021).finish()
                            << QStringList{u"patblt 1,2 3x4 rop=f00021"_s};
    QTest::newRow("BitBlt without a bitmap")
        << Writer(false)
               .raw(0x0922, rop(0x00F00021) + QByteArray::fromHex("0000000000000400030002000100"))
               .finish()
        << QStringList{u"patblt 1,2 3x4 rop=f00021"_s};
    QTest::newRow("TextOut") << Writer(false).textOut(10, 20, "Hi").finish()
                             << QStringList{u"text 10,20 \"Hi\""_s};
    QTest::newRow("ExtTextOut") << Writer(false).extTextOut(10, 20, 0, {}, "abc").finish()
                                << QStringList{u"text 10,20 \"abc\""_s};
    Writer region(false);
    region.createRegion({QRect(10, 10, 20, 10)}).createBrush(0, Qt::red);
    QTest::newRow("FillRegion") << Writer(region).record(0x0228, {0, 1}).finish()
                                << QStringList{u"fillregion 10,10 20x10 brush=#ff0000/0"_s};
    QTest::newRow("FrameRegion") << Writer(region).record(0x0429, {0, 1, 2, 3}).finish()
                                 << QStringList{u"frameregion 10,10 20x10 3x2 brush=#ff0000/0"_s};
    QTest::newRow("InvertRegion") << Writer(region).record(0x012A, {0}).finish()
                                  << QStringList{u"invertregion 10,10 20x10"_s};
    QTest::newRow("PaintRegion, current brush")
        << Writer(region).record(0x012B, {0}).finish()
        << QStringList{u"fillregion 10,10 20x10 brush=#ffffff/0"_s};
    QTest::newRow("CreateRegion with a two-byte object count")
        << Writer(false)
               .record(0x06FF, {0, 6, 0, 32, 1, 2, 10, 10, 30, 20, 2, 10, 20, 10, 30, 2})
               .createBrush(0, Qt::red)
               .record(0x0228, {0, 1})
               .finish()
        << QStringList{u"fillregion 10,10 20x10 brush=#ff0000/0"_s};
    QTest::newRow("FillRegion with a pen instead of a brush: nothing")
        << Writer(region).createPen(0, 1, Qt::red).record(0x0228, {0, 2}).finish() << QStringList{};
    QTest::newRow("StretchDIB")
        << Writer(false).stretchDib({0, 0, 50, 40}, {0, 0, 2, 2}, dib24(2, 2)).finish()
        << QStringList{u"bitmap 0,0 50x40 from 0,0 2x2 of 2x2 rop=cc0020"_s};
    QTest::newRow("DIBStretchBlt")
        << Writer(false)
               .dibStretchBlt({0, 0, 50, 40}, {0, 0, 2, 2}, dib24(2, 2), 0x008800C6)
               .finish()
        << QStringList{u"bitmap 0,0 50x40 from 0,0 2x2 of 2x2 rop=8800c6"_s};
    QTest::newRow("DIBBitBlt") << Writer(false).dibBitBlt({5, 6}, {2, 2}, dib24(2, 2)).finish()
                               << QStringList{u"bitmap 5,6 2x2 from 0,0 2x2 of 2x2 rop=cc0020"_s};
    QTest::newRow("SetDIBitsToDevice")
        << Writer(false).setDiBitsToDevice({5, 6}, {3, 2}, dib24(3, 2)).finish()
        << QStringList{u"bitmap 5,6 3x2 from 0,0 3x2 of 3x2 rop=cc0020"_s};
    // The old device bitmap: type, width, height, bytes a row, planes, bits a pixel, bits.
    const QByteArray bitmap16 = QByteArray::fromHex("0000"
                                                    "0200"
                                                    "0100"
                                                    "0200"
                                                    "01"
                                                    "01"
                                                    "4000");
    QTest::newRow("BitBlt with a device bitmap")
        << Writer(false)
               .raw(0x0922, rop(0x00CC0020) +
                                QByteArray::fromHex("0000000001000200"
                                                    "06000500") +
                                bitmap16)
               .finish()
        << QStringList{u"bitmap 5,6 2x1 from 0,0 2x1 of 2x1 rop=cc0020"_s};
    QTest::newRow("StretchBlt with a device bitmap")
        << Writer(false)
               .raw(0x0B23, rop(0x00CC0020) +
                                QByteArray::fromHex("0100020000000000"
                                                    "0a001400"
                                                    "06000500") +
                                bitmap16)
               .finish()
        << QStringList{u"bitmap 5,6 20x10 from 0,0 2x1 of 2x1 rop=cc0020"_s};
    QTest::newRow("StretchDIB with a pattern-only operation")
        << Writer(false).stretchDib({0, 0, 50, 40}, {0, 0, 2, 2}, dib24(2, 2), 0x00F00021).finish()
        << QStringList{u"patblt 0,0 50x40 rop=f00021"_s};
    QTest::newRow("Escape and unknown records are skipped") << Writer(false)
                                                                   .escape(15, "a comment")
                                                                   .record(0x0777, {1, 2, 3})
                                                                   .rectangle(0, 0, 1, 1)
                                                                   .finish()
                                                            << QStringList{u"rectangle 0,0 1x1"_s};
    QTest::newRow("nothing after the end record")
        << Writer(false).rectangle(0, 0, 1, 1).record(0, {}).ellipse(0, 0, 1, 1).finish()
        << QStringList{u"rectangle 0,0 1x1"_s};
}

void TestWmfParser::records()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    const Played r = play(file);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.calls.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QVERIFY2(r.calls[i].startsWith(expected[i]), qPrintable(r.calls[i]));
}

void TestWmfParser::mapping_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("rect"); // where the last rectangle lands, picture pixels

    QTest::newRow("MM_TEXT") << Writer(false).setMapMode(1).rectangle(0, 0, 10, 20).finish()
                             << u"0,0 10x20"_s;
    QTest::newRow("MM_TEXT ignores extents") << Writer(false)
                                                    .setMapMode(1)
                                                    .setWindowExt(10, 10)
                                                    .setViewportExt(100, 100)
                                                    .rectangle(0, 0, 10, 10)
                                                    .finish()
                                             << u"0,0 10x10"_s;
    QTest::newRow("MM_LOMETRIC") << Writer(false).setMapMode(2).rectangle(0, 0, 254, -254).finish()
                                 << u"0,0 96x96"_s;
    QTest::newRow("MM_HIMETRIC")
        << Writer(false).setMapMode(3).rectangle(0, 0, 2540, -2540).finish() << u"0,0 96x96"_s;
    QTest::newRow("MM_LOENGLISH") << Writer(false).setMapMode(4).rectangle(0, 0, 100, -100).finish()
                                  << u"0,0 96x96"_s;
    QTest::newRow("MM_HIENGLISH")
        << Writer(false).setMapMode(5).rectangle(0, 0, 1000, -1000).finish() << u"0,0 96x96"_s;
    QTest::newRow("MM_TWIPS") << Writer(false).setMapMode(6).rectangle(0, 0, 1440, -1440).finish()
                              << u"0,0 96x96"_s;
    QTest::newRow("MM_TWIPS, y grows upwards")
        << Writer(false).setMapMode(6).rectangle(0, 1440, 1440, 2880).finish() << u"0,-192 96x96"_s;
    QTest::newRow("MM_ISOTROPIC") << Writer(false)
                                         .setMapMode(7)
                                         .setWindowExt(200, 100)
                                         .setViewportExt(100, 100)
                                         .rectangle(0, 0, 200, 100)
                                         .finish()
                                  << u"0,0 100x50"_s;
    QTest::newRow("MM_ANISOTROPIC") << Writer(false)
                                           .setMapMode(8)
                                           .setWindowExt(200, 100)
                                           .setViewportExt(100, 100)
                                           .rectangle(0, 0, 200, 100)
                                           .finish()
                                    << u"0,0 100x100"_s;
    QTest::newRow("MM_ANISOTROPIC, y flipped") << Writer(false)
                                                      .setMapMode(8)
                                                      .setWindowExt(100, -100)
                                                      .setViewportExt(100, 100)
                                                      .rectangle(0, 0, 10, 10)
                                                      .finish()
                                               << u"0,-10 10x10"_s;
    QTest::newRow("SetWindowOrg")
        << Writer(false).setWindowOrg(10, 10).rectangle(10, 10, 20, 20).finish() << u"0,0 10x10"_s;
    QTest::newRow("OffsetWindowOrg")
        << Writer(false).setWindowOrg(5, 5).offsetWindowOrg(5, 5).rectangle(10, 10, 20, 20).finish()
        << u"0,0 10x10"_s;
    QTest::newRow("SetViewportOrg")
        << Writer(false).setViewportOrg(7, 8).rectangle(0, 0, 10, 10).finish() << u"7,8 10x10"_s;
    QTest::newRow("OffsetViewportOrg") << Writer(false)
                                              .offsetViewportOrg(3, 3)
                                              .offsetViewportOrg(3, 3)
                                              .rectangle(0, 0, 10, 10)
                                              .finish()
                                       << u"6,6 10x10"_s;
    QTest::newRow("ScaleWindowExt") << Writer(false)
                                           .setWindowExt(100, 100)
                                           .setViewportExt(100, 100)
                                           .scaleWindowExt(2, 1, 4, 1)
                                           .rectangle(0, 0, 200, 400)
                                           .finish()
                                    << u"0,0 100x100"_s;
    QTest::newRow("ScaleViewportExt") << Writer(false)
                                             .setWindowExt(100, 100)
                                             .setViewportExt(100, 100)
                                             .scaleViewportExt(1, 2, 1, 4)
                                             .rectangle(0, 0, 100, 100)
                                             .finish()
                                      << u"0,0 50x25"_s;
    QTest::newRow("zero extent and zero denominator are ignored") << Writer(false)
                                                                         .setWindowExt(0, 5)
                                                                         .scaleWindowExt(1, 0, 1, 0)
                                                                         .rectangle(0, 0, 10, 10)
                                                                         .finish()
                                                                  << u"0,0 10x10"_s;
    QTest::newRow("unknown map mode is ignored")
        << Writer(false).setMapMode(9).setWindowExt(2, 2).rectangle(0, 0, 10, 10).finish()
        << u"0,0 5x5"_s;
}

void TestWmfParser::mapping()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, rect);
    const Played r = play(file);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(!r.calls.isEmpty());
    QVERIFY2(r.calls.last().startsWith(u"rectangle "_s + rect + u' '), qPrintable(r.calls.last()));
}

void TestWmfParser::state_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("part"); // must be in the line of the last call
    QTest::addColumn<bool>("present");

    auto pens = [] {
        return Writer(false)
            .createPen(0, 0, Qt::red)
            .createPen(0, 0, Qt::green)
            .createPen(0, 0, Qt::blue);
    };
    QTest::newRow("RestoreDC -1") << pens()
                                         .selectObject(0)
                                         .saveDc()
                                         .selectObject(2)
                                         .restoreDc(-1)
                                         .rectangle(0, 0, 1, 1)
                                         .finish()
                                  << u"pen=#ff0000"_s << true;
    QTest::newRow("RestoreDC 1 of 2") << pens()
                                             .selectObject(0)
                                             .saveDc()
                                             .selectObject(1)
                                             .saveDc()
                                             .selectObject(2)
                                             .restoreDc(1)
                                             .rectangle(0, 0, 1, 1)
                                             .finish()
                                      << u"pen=#ff0000"_s << true;
    QTest::newRow("RestoreDC 2 of 2") << pens()
                                             .selectObject(0)
                                             .saveDc()
                                             .selectObject(1)
                                             .saveDc()
                                             .selectObject(2)
                                             .restoreDc(2)
                                             .rectangle(0, 0, 1, 1)
                                             .finish()
                                      << u"pen=#00ff00"_s << true;
    QTest::newRow("RestoreDC -2 of 2") << pens()
                                              .selectObject(0)
                                              .saveDc()
                                              .selectObject(1)
                                              .saveDc()
                                              .selectObject(2)
                                              .restoreDc(-2)
                                              .rectangle(0, 0, 1, 1)
                                              .finish()
                                       << u"pen=#ff0000"_s << true;
    QTest::newRow("RestoreDC deeper than saved is ignored") << pens()
                                                                   .selectObject(0)
                                                                   .saveDc()
                                                                   .selectObject(2)
                                                                   .restoreDc(-5)
                                                                   .rectangle(0, 0, 1, 1)
                                                                   .finish()
                                                            << u"pen=#0000ff"_s << true;
    QTest::newRow("RestoreDC after the stack is used up is ignored") << pens()
                                                                            .selectObject(0)
                                                                            .saveDc()
                                                                            .restoreDc(-1)
                                                                            .selectObject(2)
                                                                            .restoreDc(-1)
                                                                            .rectangle(0, 0, 1, 1)
                                                                            .finish()
                                                                     << u"pen=#0000ff"_s << true;
    QTest::newRow("RestoreDC restores the clip") << Writer(false)
                                                        .saveDc()
                                                        .intersectClipRect(0, 0, 10, 10)
                                                        .restoreDc(-1)
                                                        .rectangle(0, 0, 1, 1)
                                                        .finish()
                                                 << u"clip="_s << false;
    QTest::newRow("a new object takes the lowest free slot")
        << pens()
               .deleteObject(1)
               .createPen(0, 0, QColor(1, 2, 3))
               .selectObject(1)
               .rectangle(0, 0, 1, 1)
               .finish()
        << u"pen=#010203"_s << true;
    QTest::newRow("selecting an empty slot changes nothing") << pens()
                                                                    .selectObject(0)
                                                                    .deleteObject(2)
                                                                    .selectObject(2)
                                                                    .selectObject(99)
                                                                    .rectangle(0, 0, 1, 1)
                                                                    .finish()
                                                             << u"pen=#ff0000"_s << true;
    QTest::newRow("pen width and style")
        << Writer(false).createPen(2, 4, Qt::black).selectObject(0).rectangle(0, 0, 1, 1).finish()
        << u"pen=#000000/2/4"_s << true;
    QTest::newRow("CreateBrushIndirect, hatched")
        << Writer(false).createBrush(2, Qt::blue, 3).selectObject(0).rectangle(0, 0, 1, 1).finish()
        << u"brush=#0000ff/2"_s << true;
    QTest::newRow("CreateBrushIndirect, null")
        << Writer(false).createBrush(1, Qt::blue).selectObject(0).rectangle(0, 0, 1, 1).finish()
        << u"brush=#0000ff/1"_s << true;
    QTest::newRow("DibCreatePatternBrush") << Writer(false)
                                                  .createPatternBrush(dib24(8, 8))
                                                  .selectObject(0)
                                                  .rectangle(0, 0, 1, 1)
                                                  .finish()
                                           << u"brush=#ffffff/5"_s << true;
    QTest::newRow("IntersectClipRect")
        << Writer(false).intersectClipRect(10, 10, 50, 50).rectangle(0, 0, 1, 1).finish()
        << u"clip=10,10 40x40"_s << true;
    QTest::newRow("ExcludeClipRect") << Writer(false)
                                            .intersectClipRect(0, 0, 100, 100)
                                            .excludeClipRect(0, 0, 50, 100)
                                            .rectangle(0, 0, 1, 1)
                                            .finish()
                                     << u"clip=50,0 50x100"_s << true;
    QTest::newRow("OffsetClipRgn") << Writer(false)
                                          .intersectClipRect(10, 10, 50, 50)
                                          .offsetClipRgn(5, 5)
                                          .rectangle(0, 0, 1, 1)
                                          .finish()
                                   << u"clip=15,15 40x40"_s << true;
    QTest::newRow("SelectClipRegion")
        << Writer(false)
               .createRegion({QRect(10, 20, 30, 5), QRect(15, 30, 5, 5)})
               .selectClipRegion(0)
               .rectangle(0, 0, 1, 1)
               .finish()
        << u"clip=10,20 30x15"_s << true;
    QTest::newRow("SelectClipRegion of no region clears the clip")
        << Writer(false)
               .intersectClipRect(10, 10, 50, 50)
               .createPen(0, 0, Qt::red)
               .selectClipRegion(0)
               .rectangle(0, 0, 1, 1)
               .finish()
        << u"clip="_s << false;
    QTest::newRow("SetTextColor") << Writer(false).setTextColor(Qt::red).textOut(0, 0, "a").finish()
                                  << u"color=#ff0000"_s << true;
    QTest::newRow("SetTextAlign") << Writer(false).setTextAlign(24 | 6).textOut(0, 0, "a").finish()
                                  << u"align=30"_s << true;
    QTest::newRow("SetPolyFillMode")
        << Writer(false).setPolyFillMode(2).polygon({{0, 0}, {1, 0}, {1, 1}}).finish()
        << u"fill=2"_s << true;
    QTest::newRow("TA_UPDATECP moves the current position")
        << Writer(false)
               .createFont(-20, "Arial")
               .selectObject(0)
               .setTextAlign(1)
               .moveTo(10, 10)
               .textOut(0, 0, "ab")
               .textOut(0, 0, "c")
               .finish()
        << u"text 30,10"_s << true; // the recording sink advances half an em a character
}

void TestWmfParser::state()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, part);
    QFETCH(bool, present);
    const Played r = play(file);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(!r.calls.isEmpty());
    QVERIFY2(r.calls.last().contains(part) == present, qPrintable(r.calls.last()));
}

void TestWmfParser::textEncoding_data()
{
    QTest::addColumn<int>("charSet");
    QTest::addColumn<QByteArray>("face");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qreal>>("advances"); // from a spacing array of 10 a byte

    QTest::newRow("ANSI") << 0 << QByteArray("Arial") << QByteArray("caf\xe9 \x80") << u"café €"_s
                          << QList<qreal>{10, 10, 10, 10, 10, 10};
    QTest::newRow("DEFAULT_CHARSET as ANSI")
        << 1 << QByteArray("Arial") << QByteArray("\xe9") << u"é"_s << QList<qreal>{10};
    QTest::newRow("Big5") << 136 << QByteArray("\xb7s\xb2\xd3\xa9\xfa\xc5\xe9")
                          << QByteArray("\xa4\xa4\xa4\xe5"
                                        "A")
                          << u"中文A"_s << QList<qreal>{20, 20, 10};
    QTest::newRow("GB2312") << 134 << QByteArray("SimSun") << QByteArray("\xd6\xd0\xce\xc4")
                            << u"中文"_s << QList<qreal>{20, 20};
    QTest::newRow("Shift-JIS") << 128 << QByteArray("MS Mincho") << QByteArray("\x93\xfa\x96\x7b")
                               << u"日本"_s << QList<qreal>{20, 20};
    QTest::newRow("Hangul") << 129 << QByteArray("Gulim") << QByteArray("\xc7\xd1\xb1\xdb")
                            << u"한글"_s << QList<qreal>{20, 20};
    QTest::newRow("Russian") << 204 << QByteArray("Arial") << QByteArray("\xcf\xf0\xe8") << u"При"_s
                             << QList<qreal>{10, 10, 10};
    QTest::newRow("Greek") << 161 << QByteArray("Arial") << QByteArray("\xe1\xe2") << u"αβ"_s
                           << QList<qreal>{10, 10};
    QTest::newRow("Symbol") << 2 << QByteArray("Symbol") << QByteArray("abgp\xa3") << u"αβγπ≤"_s
                            << QList<qreal>{10, 10, 10, 10, 10};
    QTest::newRow("Symbol face with ANSI set")
        << 0 << QByteArray("Symbol") << QByteArray("D") << u"Δ"_s << QList<qreal>{10};
    QTest::newRow("Wingdings") << 2 << QByteArray("Wingdings") << QByteArray("\xfc\x6c\xe0")
                               << u"✓●→"_s << QList<qreal>{10, 10, 10};
    QTest::newRow("Wingdings 2: private use")
        << 2 << QByteArray("Wingdings 2") << QByteArray("\x50") << u"\uf050"_s << QList<qreal>{10};
    QTest::newRow("Big5, lone lead byte at the end")
        << 136 << QByteArray("PMingLiU") << QByteArray("A\xa4") << u"A\ufffd"_s
        << QList<qreal>{10, 10};
}

void TestWmfParser::textEncoding()
{
    QFETCH(int, charSet);
    QFETCH(QByteArray, face);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QList<qreal>, advances);
    const QList<int> dx(bytes.size(), 10);
    const Played r = play(Writer(false)
                              .createFont(-20, face, charSet)
                              .selectObject(0)
                              .extTextOut(0, 0, 0, {}, bytes, dx)
                              .finish());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.texts.size(), 1);
    QCOMPARE(r.texts[0].text, text);
    QCOMPARE(r.texts[0].advances, advances);
}

void TestWmfParser::textPairs()
{
    // Spacing as (across, up) pairs; with TA_UPDATECP the position moves by both.
    const Played r = play(Writer(false)
                              .createFont(-20, "Arial")
                              .selectObject(0)
                              .setTextAlign(1)
                              .moveTo(10, 50)
                              .extTextOut(0, 0, 0x2000, {}, "hi", {30, 5, 40, 7})
                              .textOut(0, 0, "x")
                              .extTextOut(0, 0, 0x0010, {}, "\x01\x02")
                              .finish());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.texts.size(), 3);
    QCOMPARE(r.texts[0].advances, (QList<qreal>{30, 40}));
    QCOMPARE(r.texts[0].rises, (QList<qreal>{0, 5}));
    QCOMPARE(r.texts[1].reference, QPointF(80, 38));
    QVERIFY(r.texts[2].text.isEmpty()); // glyph indices: nothing we can show
}

void TestWmfParser::textRun()
{
    // The font's attributes, and the opaque rectangle, as the sink gets them.
    const Played r = play(Writer(false)
                              .setWindowExt(2, 2) // two logical units a pixel
                              .createFont(-40, "Times New Roman", 0, 900, 700, true, true, true, 16)
                              .selectObject(0)
                              .setTextCharExtra(4)
                              .setTextJustification(6, 3)
                              .extTextOut(20, 40, 6, QRect(0, 0, 100, 50), "ab")
                              .finish());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.texts.size(), 1);
    const wmf::TextRun &t = r.texts[0];
    QCOMPARE(t.reference, QPointF(10, 20));
    QCOMPARE(t.emPixels, -20.0);
    QCOMPARE(t.widthPixels, 8.0);
    QCOMPARE(t.angle, 90.0);
    QCOMPARE(t.weight, 700);
    QVERIFY(t.italic && t.underline && t.strikeOut);
    QCOMPARE(t.extraPerChar, 2.0);
    QCOMPARE(t.extraPerBreak, 1.0);
    QCOMPARE(t.options, quint16(6));
    QCOMPARE(t.rect, QRectF(0, 0, 50, 25));
    QVERIFY(!t.family.isEmpty());
}

void TestWmfParser::limits_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<wmf::Limits>("limits");
    QTest::addColumn<QString>("error"); // empty: must succeed

    wmf::Limits records;
    records.maxRecords = 5;
    Writer four(false);
    for (int i = 0; i < 4; ++i)
        four.rectangle(0, 0, 1, 1);
    QTest::newRow("records: at the limit") << four.finish() << records << QString();
    QTest::newRow("records: over")
        << Writer(four).rectangle(0, 0, 1, 1).rectangle(0, 0, 1, 1).finish() << records
        << u"記錄太多"_s;

    wmf::Limits depth;
    depth.maxSaveDepth = 3;
    QTest::newRow("save depth: at the limit")
        << Writer(false).saveDc().saveDc().saveDc().finish() << depth << QString();
    QTest::newRow("save depth: over")
        << Writer(false).saveDc().saveDc().saveDc().saveDc().finish() << depth << u"層數太多"_s;
    QTest::newRow("save depth: restored in between")
        << Writer(false).saveDc().saveDc().saveDc().restoreDc(-2).saveDc().saveDc().finish()
        << depth << QString();

    wmf::Limits objects;
    objects.maxObjects = 3;
    QTest::newRow("objects: at the limit") << Writer(false)
                                                  .createPen(0, 0, Qt::red)
                                                  .createPen(0, 0, Qt::red)
                                                  .createPen(0, 0, Qt::red)
                                                  .finish()
                                           << objects << QString();
    QTest::newRow("objects: over") << Writer(false)
                                          .createPen(0, 0, Qt::red)
                                          .createPen(0, 0, Qt::red)
                                          .createPen(0, 0, Qt::red)
                                          .createBrush(0, Qt::red)
                                          .finish()
                                   << objects << u"物件太多"_s;
    QTest::newRow("objects: deleted ones make room") << Writer(false)
                                                            .createPen(0, 0, Qt::red)
                                                            .createPen(0, 0, Qt::red)
                                                            .createPen(0, 0, Qt::red)
                                                            .deleteObject(1)
                                                            .createBrush(0, Qt::red)
                                                            .finish()
                                                     << objects << QString();

    wmf::Limits bitmap;
    bitmap.maxBitmapPixels = 100;
    QTest::newRow("one bitmap: at the limit")
        << Writer(false).stretchDib({0, 0, 10, 10}, {0, 0, 10, 10}, dib24(10, 10)).finish()
        << bitmap << QString();
    QTest::newRow("one bitmap: over")
        << Writer(false).stretchDib({0, 0, 10, 10}, {0, 0, 11, 10}, dib24(11, 10)).finish()
        << bitmap << u"點陣圖太大"_s;
    QTest::newRow("one bitmap: RLE claims more than it holds")
        << Writer(false)
               .stretchDib(
                   {0, 0, 10, 10}, {0, 0, 1000, 1000},
                   wmftest::dib(1000, 1000, 8, {qRgb(0, 0, 0)}, QByteArray::fromHex("0001"), 1))
               .finish()
        << bitmap << u"點陣圖太大"_s;

    wmf::Limits decoded;
    decoded.maxDecodedPixels = 250;
    Writer bitmaps(false);
    for (int i = 0; i < 2; ++i)
        bitmaps.stretchDib({0, 0, 10, 10}, {0, 0, 10, 10}, dib24(10, 10));
    QTest::newRow("bitmaps in all: under") << bitmaps.finish() << decoded << QString();
    QTest::newRow("bitmaps in all: over")
        << Writer(bitmaps).stretchDib({0, 0, 10, 10}, {0, 0, 10, 10}, dib24(10, 10)).finish()
        << decoded << u"點陣圖太大"_s;

    wmf::Limits held;
    held.maxHeldBitmapPixels = 128;
    QTest::newRow("pattern brushes held: under")
        << Writer(false).createPatternBrush(dib24(8, 8)).createPatternBrush(dib24(8, 8)).finish()
        << held << QString();
    QTest::newRow("pattern brushes held: over") << Writer(false)
                                                       .createPatternBrush(dib24(8, 8))
                                                       .createPatternBrush(dib24(8, 8))
                                                       .createPatternBrush(dib24(8, 8))
                                                       .finish()
                                                << held << u"圖樣筆刷"_s;
    QTest::newRow("pattern brushes held: deleted ones are freed")
        << Writer(false)
               .createPatternBrush(dib24(8, 8))
               .createPatternBrush(dib24(8, 8))
               .deleteObject(0)
               .createPatternBrush(dib24(8, 8))
               .finish()
        << held << QString();

    wmf::Limits points;
    points.maxPoints = 6;
    const QList<QPoint> three{{0, 0}, {1, 0}, {1, 1}};
    QTest::newRow("points in a poly-polygon: at the limit")
        << Writer(false).polyPolygon({three, three}).finish() << points << QString();
    QTest::newRow("points in a poly-polygon: over")
        << Writer(false).polyPolygon({three, three, three}).finish() << points << u"多邊形太複雜"_s;

    wmf::Limits rects;
    rects.maxRegionRects = 2;
    QTest::newRow("rectangles in a region: at the limit")
        << Writer(false).createRegion({QRect(0, 0, 5, 5), QRect(0, 10, 5, 5)}).finish() << rects
        << QString();
    QTest::newRow("rectangles in a region: over")
        << Writer(false)
               .createRegion({QRect(0, 0, 5, 5), QRect(0, 10, 5, 5), QRect(0, 20, 5, 5)})
               .finish()
        << rects << u"區域太複雜"_s;

    wmf::Limits time;
    time.maxMilliseconds = -1; // already late at the first record
    QTest::newRow("time") << Writer(false).rectangle(0, 0, 1, 1).finish() << time << u"無法在"_s;
}

void TestWmfParser::limits()
{
    QFETCH(QByteArray, file);
    QFETCH(wmf::Limits, limits);
    QFETCH(QString, error);
    const Played r = play(file, limits);
    if (error.isEmpty()) {
        QVERIFY2(r.ok, qPrintable(r.error));
    } else {
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(error), qPrintable(r.error));
    }
}

void TestWmfParser::malformed_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");

    const QByteArray good = Writer(false).rectangle(0, 0, 10, 10).finish();
    QTest::newRow("empty") << QByteArray() << u"檔頭不完整"_s;
    QTest::newRow("header cut short") << good.left(12) << u"檔頭不完整"_s;
    QTest::newRow("placeable header only") << Writer(true).finish().left(22) << u"檔頭不完整"_s;
    QByteArray badType = good;
    badType[0] = 3;
    QTest::newRow("unknown type") << badType << u"檔頭不正確"_s;
    QByteArray badHeader = good;
    badHeader[2] = 10;
    QTest::newRow("header size not 9 words") << badHeader << u"檔頭不正確"_s;
    QTest::newRow("record runs past the end")
        << good.left(good.size() - 8) << u"第 1 筆記錄超出檔案結尾"_s;
    QByteArray tiny = good;
    tiny[18] = 2; // the rectangle claims two words
    QTest::newRow("record shorter than its own header") << tiny << u"第 1 筆記錄的長度不正確"_s;
    QTest::newRow("polygon count beyond its record")
        << Writer(false).raw(0x0324, QByteArray::fromHex("05000000000001000100")).finish()
        << u"第 1 筆記錄的內容不完整"_s;
    QTest::newRow("poly-polygon counts beyond its record")
        << Writer(false).raw(0x0538, QByteArray::fromHex("0200ff00ff000000")).finish()
        << u"內容不完整"_s;
    QTest::newRow("text longer than its record")
        << Writer(false).raw(0x0521, QByteArray::fromHex("20004142")).finish() << u"內容不完整"_s;
    QTest::newRow("ExtTextOut rectangle missing")
        << Writer(false).raw(0x0A32, QByteArray::fromHex("0000000001000400")).finish()
        << u"內容不完整"_s;
    QTest::newRow("rectangle with three words")
        << Writer(false).record(0x041B, {1, 2, 3}).finish() << u"內容不完整"_s;
    QTest::newRow("palette entries beyond its record")
        << Writer(false).raw(0x00F7, QByteArray::fromHex("0003ff00")).finish() << u"內容不完整"_s;
    QTest::newRow("StretchDIB cut before its bitmap")
        << Writer(false).record(0x0F43, {0x20, 0xCC, 0}).finish() << u"內容不完整"_s;
}

void TestWmfParser::malformed()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    const Played r = play(file);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.startsWith(u"WMF 圖片檔已損壞："_s), qPrintable(r.error));
    QVERIFY2(r.error.contains(error), qPrintable(r.error));
}

QTEST_MAIN(TestWmfParser)
#include "tst_wmfparser.moc"
