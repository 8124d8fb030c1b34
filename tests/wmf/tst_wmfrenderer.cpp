// Metafiles the test writes, rendered to pixels: sizes, record families, bitmaps, text.
#include "picture/wmf/wmfparser.h"
#include "picture/wmf/wmfrenderer.h"
#include "wmfwriter.h"

#include <QTest>

Q_DECLARE_METATYPE(wmf::Limits)

using namespace Qt::Literals::StringLiterals;
using wmftest::Writer;

namespace {

// "x,y=#rrggbb": that colour (within a little, for antialiasing), "x,y!=#rrggbb": anything else.
bool probe(const QImage &image, const QString &check, QString *why)
{
    const bool negate = check.contains(u"!="_s);
    const QStringList parts = check.split(negate ? u"!="_s : u"="_s);
    const QStringList xy = parts.value(0).split(u',');
    const QPoint at(xy.value(0).toInt(), xy.value(1).toInt());
    const QColor want(parts.value(1));
    if (!image.rect().contains(at)) {
        *why = check + u": outside the picture"_s;
        return false;
    }
    const QColor got = image.pixelColor(at);
    const bool near = std::abs(got.red() - want.red()) <= 24 &&
                      std::abs(got.green() - want.green()) <= 24 &&
                      std::abs(got.blue() - want.blue()) <= 24;
    *why = check + u": got "_s + got.name();
    return near != negate;
}

int inkIn(const QImage &image, const QRect &rect)
{
    int ink = 0;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < 160)
                ++ink;
    return ink;
}

// A brush (solid red unless said) and no pen, selected: the usual start of a pixel test.
Writer filled(QColor color = Qt::red, Writer w = Writer())
{
    const int first = 0;
    w.createPen(5, 0, Qt::black).selectObject(first).createBrush(0, color).selectObject(first + 1);
    return w;
}

// A 2x2 bitmap: red, green on top; blue, black below (the file holds the bottom row first).
QByteArray quadDib(const QString &kind)
{
    const QList<QRgb> four{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)};
    auto hex = [](const char *h) { return QByteArray::fromHex(h); };
    if (kind == u"4 bits")
        return wmftest::dib(2, 2, 4, four, hex("2300000001000000"));
    if (kind == u"8 bits")
        return wmftest::dib(2, 2, 8, four, hex("0203000000010000"));
    if (kind == u"16 bits")
        return wmftest::dib(2, 2, 16, {}, hex("1f000000007ce003"));
    if (kind == u"24 bits")
        return wmftest::dib(2, 2, 24, {}, hex("ff000000000000000000ff00ff000000"));
    if (kind == u"32 bits")
        return wmftest::dib(2, 2, 32, {}, hex("ff000000000000000000ff0000ff0000"));
    if (kind == u"16 bits, bit fields 5-6-5")
        return wmftest::dib(2, 2, 16, {}, hex("1f00000000f8e007"), 3, {0xF800, 0x07E0, 0x001F});
    if (kind == u"32 bits, bit fields")
        return wmftest::dib(2, 2, 32, {}, hex("0000ff0000000000ff00000000ff0000"), 3,
                            {0xFF, 0xFF00, 0xFF0000});
    if (kind == u"RLE8")
        return wmftest::dib(2, 2, 8, four, hex("0102010300000100010100000001"), 1);
    if (kind == u"RLE8, absolute run") // four wide: three pixels as they are, one repeated
        return wmftest::dib(4, 2, 8, four,
                            hex("000302020300"
                                "0103"
                                "0000"
                                "000300000100"
                                "0101"
                                "0000"
                                "0001"),
                            1);
    if (kind == u"RLE4")
        return wmftest::dib(2, 2, 4, four,
                            hex("0223000002010000"
                                "0001"),
                            2);
    if (kind == u"24 bits, top-down")
        return wmftest::dib(2, -2, 24, {}, hex("0000ff00ff000000ff00000000000000"));
    if (kind == u"24 bits, old header") {
        QByteArray b;
        wmftest::put32(b, 12);
        wmftest::put16(b, 2);
        wmftest::put16(b, 2);
        wmftest::put16(b, 1);
        wmftest::put16(b, 24);
        return b + hex("ff000000000000000000ff00ff000000");
    }
    return {};
}

} // namespace

class TestWmfRenderer : public QObject
{
    Q_OBJECT

private slots:
    void size_data();
    void size();
    void errors_data();
    void errors();
    void pixels_data();
    void pixels();
    void bitmaps_data();
    void bitmaps();
    void hatch_data();
    void hatch();
    void text_data();
    void text();
};

void TestWmfRenderer::size_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<wmf::Limits>("limits");
    QTest::addColumn<QSize>("size");

    const wmf::Limits usual;
    QTest::newRow("placeable, 96 units an inch")
        << Writer(true, QRect(0, 0, 200, 100), 96).finish() << usual << QSize(200, 100);
    QTest::newRow("placeable, 1440 units an inch")
        << Writer(true, QRect(0, 0, 1440, 720), 1440).finish() << usual << QSize(96, 48);
    QTest::newRow("placeable, frame off the origin")
        << Writer(true, QRect(-500, 300, 1000, 500), 1000).finish() << usual << QSize(96, 48);
    QTest::newRow("placeable, no units an inch: twips")
        << Writer(true, QRect(0, 0, 2880, 1440), 0).finish() << usual << QSize(192, 96);
    QTest::newRow("placeable, the window does not change the size")
        << Writer(true, QRect(0, 0, 100, 50), 96).setWindowExt(1000, 1000).finish() << usual
        << QSize(100, 50);
    QTest::newRow("plain, window extent")
        << Writer(false).setMapMode(8).setWindowExt(300, 150).rectangle(0, 0, 1, 1).finish()
        << usual << QSize(300, 150);
    QTest::newRow("plain, window extent in MM_TEXT too")
        << Writer(false).setWindowOrg(10, 10).setWindowExt(300, -150).rectangle(0, 0, 1, 1).finish()
        << usual << QSize(300, 150);
    QTest::newRow("plain, window and viewport extents") << Writer(false)
                                                               .setMapMode(8)
                                                               .setWindowExt(3000, 1500)
                                                               .setViewportExt(60, 30)
                                                               .rectangle(0, 0, 1, 1)
                                                               .finish()
                                                        << usual << QSize(60, 30);
    QTest::newRow("plain, what it draws")
        << filled(Qt::red, Writer(false)).setMapMode(1).ellipse(100, 100, 300, 200).finish()
        << usual << QSize(200, 100);
    QTest::newRow("plain, what it draws, with the pen") << Writer(false)
                                                               .createPen(0, 10, Qt::black)
                                                               .selectObject(0)
                                                               .rectangle(100, 100, 300, 200)
                                                               .finish()
                                                        << usual << QSize(210, 110);
    QTest::newRow("plain, what it draws in MM_HIMETRIC")
        << filled(Qt::red, Writer(false)).setMapMode(3).rectangle(0, 0, 2540, -5080).finish()
        << usual << QSize(96, 192);
    wmf::Limits side;
    side.maxSide = 1000;
    QTest::newRow("over the side limit: scaled down")
        << Writer(true, QRect(0, 0, 20000, 10000), 96).finish() << side << QSize(1000, 500);
    wmf::Limits pixels;
    pixels.maxPixels = 10000;
    QTest::newRow("over the pixel limit: scaled down")
        << Writer(true, QRect(0, 0, 20000, 10000), 96).finish() << pixels << QSize(141, 71);
    QTest::newRow("plain, large window: scaled to 2048")
        << Writer(false).setMapMode(8).setWindowExt(20000, 10000).rectangle(0, 0, 1, 1).finish()
        << usual << QSize(2048, 1024);
    QTest::newRow("placeable, large frame: not scaled to 2048")
        << Writer(true, QRect(0, 0, 3000, 1000), 96).finish() << usual << QSize(3000, 1000);
    QTest::newRow("default limits: 8192 a side")
        << Writer(true, QRect(0, 0, 30000, 1000), 96).finish() << usual << QSize(8192, 273);
}

void TestWmfRenderer::size()
{
    QFETCH(QByteArray, file);
    QFETCH(wmf::Limits, limits);
    QFETCH(QSize, size);
    QString error;
    const QImage image = wmf::render(file, &error, limits);
    QVERIFY2(!image.isNull(), qPrintable(error));
    QCOMPARE(image.size(), size);
    QVERIFY(error.isEmpty());
}

void TestWmfRenderer::errors_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");

    QTest::newRow("placeable, zero width")
        << Writer(true, QRect(0, 0, 0, 100)).finish() << u"大小不正確"_s;
    QTest::newRow("plain, draws nothing")
        << Writer(false).setMapMode(1).finish() << u"沒有可顯示的內容"_s;
    QTest::newRow("truncated") << Writer(false).rectangle(0, 0, 10, 10).finish().chopped(10)
                               << u"超出檔案結尾"_s;
    QTest::newRow("not a metafile") << QByteArray("GIF89a....................") << u"檔頭"_s;
}

void TestWmfRenderer::errors()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    QString got;
    const QImage image = wmf::render(file, &got);
    QVERIFY(image.isNull());
    QVERIFY2(got.startsWith(u"WMF"_s) && got.contains(error), qPrintable(got));
}

void TestWmfRenderer::pixels_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("probes");

    QTest::newRow("white ground") << Writer().finish()
                                  << QStringList{u"0,0=#ffffff"_s, u"99,99=#ffffff"_s};
    QTest::newRow("Rectangle, solid brush")
        << filled().rectangle(20, 20, 80, 80).finish()
        << QStringList{u"50,50=#ff0000"_s, u"10,10=#ffffff"_s, u"85,50=#ffffff"_s};
    QTest::newRow("Rectangle, wide pen, null brush")
        << Writer()
               .createPen(0, 6, Qt::blue)
               .selectObject(0)
               .createBrush(1, Qt::red)
               .selectObject(1)
               .rectangle(20, 20, 80, 80)
               .finish()
        << QStringList{u"20,50=#0000ff"_s, u"50,50=#ffffff"_s};
    QTest::newRow("Rectangle, inside-frame pen")
        << Writer()
               .createPen(6, 10, Qt::blue)
               .selectObject(0)
               .createBrush(1, Qt::red)
               .selectObject(1)
               .rectangle(20, 20, 80, 80)
               .finish()
        << QStringList{u"17,50=#ffffff"_s, u"23,50=#0000ff"_s};
    QTest::newRow("Ellipse") << filled().ellipse(0, 0, 100, 100).finish()
                             << QStringList{u"50,50=#ff0000"_s, u"3,3=#ffffff"_s,
                                            u"50,3=#ff0000"_s};
    QTest::newRow("RoundRect") << filled().roundRect(0, 0, 100, 100, 60, 60).finish()
                               << QStringList{u"50,50=#ff0000"_s, u"2,2=#ffffff"_s,
                                              u"50,2=#ff0000"_s};
    QTest::newRow("Pie") << filled().arc(0x081A, 0, 0, 100, 100, {100, 50}, {50, 0}).finish()
                         << QStringList{u"70,30=#ff0000"_s, u"30,30=#ffffff"_s, u"70,70=#ffffff"_s};
    QTest::newRow("Chord") << filled().arc(0x0830, 0, 0, 100, 100, {100, 50}, {0, 50}).finish()
                           << QStringList{u"50,25=#ff0000"_s, u"50,75=#ffffff"_s};
    QTest::newRow("Arc") << Writer()
                                .createPen(0, 6, Qt::blue)
                                .selectObject(0)
                                .arc(0x0817, 0, 0, 100, 100, {100, 50}, {50, 0})
                                .finish()
                         << QStringList{u"85,15=#0000ff"_s, u"15,85=#ffffff"_s, u"50,50=#ffffff"_s};
    QTest::newRow("Polygon") << filled().polygon({{0, 0}, {100, 0}, {0, 100}}).finish()
                             << QStringList{u"20,20=#ff0000"_s, u"80,80=#ffffff"_s};
    const QList<QList<QPoint>> nested{{{10, 10}, {90, 10}, {90, 90}, {10, 90}},
                                      {{30, 30}, {70, 30}, {70, 70}, {30, 70}}};
    QTest::newRow("PolyPolygon, alternate") << filled().polyPolygon(nested).finish()
                                            << QStringList{u"20,20=#ff0000"_s, u"50,50=#ffffff"_s};
    QTest::newRow("PolyPolygon, winding")
        << filled().setPolyFillMode(2).polyPolygon(nested).finish()
        << QStringList{u"20,20=#ff0000"_s, u"50,50=#ff0000"_s};
    QTest::newRow("Polyline") << Writer()
                                     .createPen(0, 4, Qt::black)
                                     .selectObject(0)
                                     .polyline({{10, 50}, {90, 50}})
                                     .finish()
                              << QStringList{u"50,50=#000000"_s, u"50,44=#ffffff"_s};
    QTest::newRow("MoveTo, LineTo") << Writer()
                                           .createPen(0, 4, Qt::black)
                                           .selectObject(0)
                                           .moveTo(50, 0)
                                           .lineTo(50, 100)
                                           .finish()
                                    << QStringList{u"50,50=#000000"_s, u"44,50=#ffffff"_s};
    QTest::newRow("dashed pen has gaps")
        << Writer()
               .createPen(1, 1, Qt::black)
               .selectObject(0)
               .moveTo(0, 50)
               .lineTo(100, 50)
               .finish()
        << QStringList{u"2,50!=#ffffff"_s, u"20,50=#ffffff"_s, u"26,50!=#ffffff"_s};
    QTest::newRow("SetPixel") << Writer().setPixel(10, 10, Qt::red).finish()
                              << QStringList{u"10,10=#ff0000"_s, u"11,11=#ffffff"_s};
    QTest::newRow("ExtFloodFill, to a border")
        << Writer()
               .createPen(0, 2, Qt::black)
               .selectObject(0)
               .createBrush(1, Qt::black)
               .selectObject(1)
               .rectangle(20, 20, 80, 80)
               .createBrush(0, Qt::red)
               .selectObject(2)
               .extFloodFill(50, 50, Qt::black, 0)
               .finish()
        << QStringList{u"50,50=#ff0000"_s, u"22,22=#ff0000"_s, u"10,10=#ffffff"_s};
    QTest::newRow("ExtFloodFill, a surface")
        << filled(Qt::blue).extFloodFill(50, 50, Qt::white, 1).finish()
        << QStringList{u"0,0=#0000ff"_s, u"99,99=#0000ff"_s};
    // Found by fuzzing: flood fills over the whole picture, twice, once up to a border that is
    // nowhere; both must fill everything (and do it without revisiting pixels).
    QTest::newRow("ExtFloodFill and FloodFill, whole picture")
        << Writer(true, QRect(0, 0, 4000, 3000), 1000)
               .createBrush(0, Qt::green)
               .selectObject(0)
               .extFloodFill(30, 30, Qt::white, 1)
               .createBrush(0, Qt::blue)
               .selectObject(1)
               .record(0x0419, {0x1E, 0x1E, 30, 30})
               .finish()
        << QStringList{u"0,0=#0000ff"_s, u"383,287=#0000ff"_s};
    QTest::newRow("StretchBlt, one-bit device bitmap takes text and background colours")
        << Writer()
               .setTextColor(Qt::red)
               .setBkColor(Qt::blue)
               .raw(0x0B23, QByteArray::fromHex("2000cc00"
                                                "0100"
                                                "0200"
                                                "0000"
                                                "0000"
                                                "6400"
                                                "6400"
                                                "0000"
                                                "0000"
                                                "0000"
                                                "0200"
                                                "0100"
                                                "0200"
                                                "01"
                                                "01"
                                                "4000"))
               .finish()
        << QStringList{u"25,50=#ff0000"_s, u"75,50=#0000ff"_s};
    QTest::newRow("PatBlt, PATCOPY") << filled(Qt::blue).patBlt(10, 10, 30, 30, 0x00F00021).finish()
                                     << QStringList{u"20,20=#0000ff"_s, u"50,50=#ffffff"_s};
    QTest::newRow("PatBlt, DSTINVERT")
        << filled().rectangle(0, 0, 100, 100).patBlt(0, 0, 50, 50, 0x00550009).finish()
        << QStringList{u"20,20=#00ffff"_s, u"70,70=#ff0000"_s};
    QTest::newRow("PatBlt, BLACKNESS") << Writer().patBlt(0, 0, 50, 50, 0x00000042).finish()
                                       << QStringList{u"20,20=#000000"_s, u"70,70=#ffffff"_s};
    QTest::newRow("PatBlt, WHITENESS")
        << filled().rectangle(0, 0, 100, 100).patBlt(0, 0, 50, 50, 0x00FF0062).finish()
        << QStringList{u"20,20=#ffffff"_s, u"70,70=#ff0000"_s};
    QTest::newRow("PatBlt, PATINVERT twice")
        << filled().patBlt(0, 0, 50, 50, 0x005A0049).patBlt(0, 0, 50, 50, 0x005A0049).finish()
        << QStringList{u"20,20=#ffffff"_s};
    QTest::newRow("SetROP2, R2_XORPEN") << filled().setRop2(7).rectangle(0, 0, 50, 50).finish()
                                        << QStringList{u"20,20=#00ffff"_s, u"70,70=#ffffff"_s};
    QTest::newRow("SetROP2, R2_XORPEN twice")
        << filled().setRop2(7).rectangle(0, 0, 50, 50).rectangle(0, 0, 50, 50).finish()
        << QStringList{u"20,20=#ffffff"_s};
    QTest::newRow("SetROP2, R2_NOP")
        << filled().setRop2(11).rectangle(0, 0, 50, 50).finish() << QStringList{u"20,20=#ffffff"_s};
    QTest::newRow("SetROP2, R2_BLACK")
        << filled().setRop2(1).rectangle(0, 0, 50, 50).finish() << QStringList{u"20,20=#000000"_s};
    QTest::newRow("IntersectClipRect")
        << filled().intersectClipRect(0, 0, 50, 100).rectangle(0, 0, 100, 100).finish()
        << QStringList{u"25,50=#ff0000"_s, u"75,50=#ffffff"_s};
    QTest::newRow("ExcludeClipRect")
        << filled().excludeClipRect(25, 25, 75, 75).rectangle(0, 0, 100, 100).finish()
        << QStringList{u"10,10=#ff0000"_s, u"50,50=#ffffff"_s};
    QTest::newRow("SelectClipRegion") << filled()
                                             .createRegion({QRect(0, 0, 30, 30)})
                                             .selectClipRegion(2)
                                             .rectangle(0, 0, 100, 100)
                                             .finish()
                                      << QStringList{u"15,15=#ff0000"_s, u"50,50=#ffffff"_s};
    QTest::newRow("SelectObject of a region clips too")
        << filled()
               .createRegion({QRect(0, 0, 30, 30)})
               .selectObject(2)
               .rectangle(0, 0, 100, 100)
               .finish()
        << QStringList{u"15,15=#ff0000"_s, u"50,50=#ffffff"_s};
    QTest::newRow("OffsetClipRgn") << filled()
                                          .intersectClipRect(0, 0, 30, 30)
                                          .offsetClipRgn(50, 50)
                                          .rectangle(0, 0, 100, 100)
                                          .finish()
                                   << QStringList{u"65,65=#ff0000"_s, u"15,15=#ffffff"_s};
    QTest::newRow("RestoreDC drops the clip") << filled()
                                                     .saveDc()
                                                     .intersectClipRect(0, 0, 10, 10)
                                                     .restoreDc(-1)
                                                     .rectangle(0, 0, 100, 100)
                                                     .finish()
                                              << QStringList{u"50,50=#ff0000"_s};
    Writer region = filled();
    region.createRegion({QRect(10, 10, 50, 50)}).createBrush(0, Qt::blue);
    QTest::newRow("FillRegion") << Writer(region).record(0x0228, {2, 3}).finish()
                                << QStringList{u"20,20=#0000ff"_s, u"70,70=#ffffff"_s};
    QTest::newRow("FrameRegion") << Writer(region).record(0x0429, {2, 3, 3, 3}).finish()
                                 << QStringList{u"11,30=#0000ff"_s, u"58,30=#0000ff"_s,
                                                u"35,35=#ffffff"_s, u"5,5=#ffffff"_s};
    QTest::newRow("InvertRegion") << Writer(region).record(0x012A, {2}).finish()
                                  << QStringList{u"20,20=#000000"_s, u"70,70=#ffffff"_s};
    QTest::newRow("PaintRegion") << Writer(region).record(0x012B, {2}).finish()
                                 << QStringList{u"20,20=#ff0000"_s, u"70,70=#ffffff"_s};
    QTest::newRow("DibCreatePatternBrush")
        << Writer()
               .createPen(5, 0, Qt::black)
               .selectObject(0)
               .createPatternBrush(
                   wmftest::dib(2, 1, 24, {}, QByteArray::fromHex("0000ffff00000000")))
               .selectObject(1)
               .rectangle(0, 0, 100, 100)
               .finish()
        << QStringList{u"10,10=#ff0000"_s, u"11,10=#0000ff"_s, u"10,11=#ff0000"_s};
    QTest::newRow("placeable, window extent scales")
        << filled().setWindowExt(1000, 1000).rectangle(0, 0, 500, 500).finish()
        << QStringList{u"25,25=#ff0000"_s, u"75,75=#ffffff"_s};
    QTest::newRow("placeable, window origin moves")
        << filled().setWindowOrg(-50, 0).rectangle(0, 0, 50, 100).finish()
        << QStringList{u"75,50=#ff0000"_s, u"25,50=#ffffff"_s};
    QTest::newRow("placeable, viewport records are the player's")
        << filled().setViewportExt(10, 10).setViewportOrg(50, 50).rectangle(0, 0, 50, 50).finish()
        << QStringList{u"25,25=#ff0000"_s, u"75,75=#ffffff"_s};
    QTest::newRow("placeable, isotropic mode keeps the shape")
        << filled().setMapMode(7).setWindowExt(200, 100).rectangle(0, 0, 200, 100).finish()
        << QStringList{u"50,25=#ff0000"_s, u"50,75=#ffffff"_s};
    QTest::newRow("plain, y upwards") << filled(Qt::red, Writer(false))
                                             .setMapMode(8)
                                             .setWindowOrg(0, 100)
                                             .setWindowExt(100, -100)
                                             .rectangle(0, 0, 100, 50)
                                             .finish()
                                      << QStringList{u"50,75=#ff0000"_s, u"50,25=#ffffff"_s};
    QTest::newRow("plain, MM_LOENGLISH, y upwards")
        << filled(Qt::red, Writer(false))
               .setMapMode(4)
               .rectangle(0, 0, 100, -100)
               .createBrush(0, Qt::blue)
               .selectObject(2)
               .rectangle(0, -50, 50, -100)
               .finish()
        << QStringList{u"24,72=#0000ff"_s, u"72,72=#ff0000"_s, u"24,24=#ff0000"_s};
}

void TestWmfRenderer::pixels()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, probes);
    QString error;
    const QImage image = wmf::render(file, &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    for (const QString &p : probes) {
        QString why;
        QVERIFY2(probe(image, p, &why), qPrintable(why));
    }
}

void TestWmfRenderer::bitmaps_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("record");
    QTest::addColumn<quint32>("rop");
    QTest::addColumn<QStringList>("probes");

    const QStringList quad{u"25,25=#ff0000"_s, u"75,25=#00ff00"_s, u"25,75=#0000ff"_s,
                           u"75,75=#000000"_s};
    for (const char *kind :
         {"4 bits", "8 bits", "16 bits", "24 bits", "32 bits", "16 bits, bit fields 5-6-5",
          "32 bits, bit fields", "RLE8", "RLE8, absolute run", "RLE4", "24 bits, top-down",
          "24 bits, old header"})
        QTest::addRow("StretchDIB, %s", kind)
            << QString::fromLatin1(kind) << 0x0F43 << quint32(0x00CC0020) << quad;
    for (int record : {0x0B41, 0x0940, 0x0D33})
        QTest::addRow("record %x, 24 bits", record)
            << u"24 bits"_s << record << quint32(0x00CC0020) << quad;
    QTest::newRow("1 bit, colours from the palette")
        << u"palette"_s << 0x0F43 << quint32(0x00CC0020)
        << QStringList{u"25,50=#0000ff"_s, u"75,50=#ff0000"_s};
    QTest::newRow("1 bit") << u"1 bit"_s << 0x0F43 << quint32(0x00CC0020)
                           << QStringList{u"25,25=#ff0000"_s, u"75,25=#0000ff"_s,
                                          u"25,75=#0000ff"_s, u"75,75=#ff0000"_s};
    // Over a yellow ground: white and black halves through the raster operations.
    QTest::newRow("SRCAND") << u"white black"_s << 0x0F43 << quint32(0x008800C6)
                            << QStringList{u"25,50=#ffff00"_s, u"75,50=#000000"_s};
    QTest::newRow("SRCPAINT") << u"white black"_s << 0x0F43 << quint32(0x00EE0086)
                              << QStringList{u"25,50=#ffffff"_s, u"75,50=#ffff00"_s};
    QTest::newRow("SRCINVERT") << u"white black"_s << 0x0F43 << quint32(0x00660046)
                               << QStringList{u"25,50=#0000ff"_s, u"75,50=#ffff00"_s};
    QTest::newRow("NOTSRCCOPY") << u"white black"_s << 0x0F43 << quint32(0x00330008)
                                << QStringList{u"25,50=#000000"_s, u"75,50=#ffffff"_s};
    QTest::newRow("SRCERASE") << u"white black"_s << 0x0F43 << quint32(0x00440328)
                              << QStringList{u"25,50=#0000ff"_s, u"75,50=#000000"_s};
    QTest::newRow("MERGEPAINT") << u"white black"_s << 0x0F43 << quint32(0x00BB0226)
                                << QStringList{u"25,50=#ffff00"_s, u"75,50=#ffffff"_s};
    QTest::newRow("brush through black") << u"white black"_s << 0x0F43 << quint32(0x00B8074A)
                                         << QStringList{u"25,50=#ffff00"_s, u"75,50=#ff0000"_s};
}

void TestWmfRenderer::bitmaps()
{
    QFETCH(QString, kind);
    QFETCH(int, record);
    QFETCH(quint32, rop);
    QFETCH(QStringList, probes);

    Writer w(true, QRect(0, 0, 2, 2), 2); // two units, an inch: 96 pixels
    QByteArray dib;
    if (kind == u"white black") {
        w.createPen(5, 0, Qt::black)
            .selectObject(0)
            .createBrush(0, Qt::yellow)
            .selectObject(1)
            .rectangle(0, 0, 2, 2);
        w.createBrush(0, Qt::red).selectObject(2);
        dib = wmftest::dib(2, 1, 24, {}, QByteArray::fromHex("ffffff0000000000"));
    } else if (kind == u"palette") {
        // The colour table holds palette indices (1, 0) instead of colours.
        w.createPalette({qRgb(255, 0, 0), qRgb(0, 0, 255)}).record(0x0234, {0});
        dib = wmftest::dib(2, 1, 1, {}, {}) + QByteArray::fromHex("01000000"
                                                                  "40000000");
        dib[32] = 2; // two colours used
    } else if (kind == u"1 bit") {
        dib = wmftest::dib(2, 2, 1, {qRgb(255, 0, 0), qRgb(0, 0, 255)},
                           QByteArray::fromHex("8000000040000000"));
    } else {
        dib = quadDib(kind);
    }
    QVERIFY(!dib.isEmpty());
    const QSize size(kind.contains(u"absolute"_s) ? 4 : 2,
                     kind == u"white black" || kind == u"palette" ? 1 : 2);
    const quint16 colorUsage = kind == u"palette" ? 1 : 0;
    switch (record) {
    case 0x0F43:
        w.stretchDib(QRect(0, 0, 2, 2), QRect(QPoint(0, 0), size), dib, rop, colorUsage);
        break;
    case 0x0B41:
        w.dibStretchBlt(QRect(0, 0, 2, 2), QRect(QPoint(0, 0), size), dib, rop);
        break;
    case 0x0940:
        w.dibBitBlt(QPoint(0, 0), size, dib, rop);
        break;
    default:
        w.setDiBitsToDevice(QPoint(0, 0), size, dib);
        break;
    }
    QString error;
    const QImage image = wmf::render(w.finish(), &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    QCOMPARE(image.size(), QSize(96, 96));
    for (QString p : probes) {
        // The probes are written for a 100-pixel square.
        const QStringList parts = p.split(u'=');
        const QStringList xy = parts[0].split(u',');
        p = QString::number(xy[0].toInt() * 96 / 100) + u',' +
            QString::number(xy[1].toInt() * 96 / 100) + u'=' + parts[1];
        QString why;
        QVERIFY2(probe(image, p, &why), qPrintable(why));
    }
}

void TestWmfRenderer::hatch_data()
{
    QTest::addColumn<int>("hatch");
    QTest::addColumn<int>("bkMode");
    QTest::addColumn<bool>("rowsVary");    // along a column, both colours
    QTest::addColumn<bool>("columnsVary"); // along a row, both colours

    QTest::newRow("horizontal") << 0 << 1 << true << false;
    QTest::newRow("vertical") << 1 << 1 << false << true;
    QTest::newRow("forward diagonal") << 2 << 1 << true << true;
    QTest::newRow("backward diagonal") << 3 << 1 << true << true;
    QTest::newRow("cross") << 4 << 1 << true << true;
    QTest::newRow("diagonal cross, opaque background") << 5 << 2 << true << true;
}

void TestWmfRenderer::hatch()
{
    QFETCH(int, hatch);
    QFETCH(int, bkMode);
    QFETCH(bool, rowsVary);
    QFETCH(bool, columnsVary);
    const QByteArray file = Writer()
                                .createPen(5, 0, Qt::black)
                                .selectObject(0)
                                .createBrush(2, Qt::blue, hatch)
                                .selectObject(1)
                                .setBkMode(bkMode)
                                .setBkColor(Qt::yellow)
                                .rectangle(0, 0, 100, 100)
                                .finish();
    QString error;
    const QImage image = wmf::render(file, &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    const QColor ground = bkMode == 2 ? QColor(Qt::yellow) : QColor(Qt::white);
    auto colours = [&](bool alongColumn) {
        QSet<QRgb> seen;
        for (int i = 10; i < 90; ++i)
            seen.insert(alongColumn ? image.pixel(50, i) : image.pixel(i, 50));
        return seen;
    };
    for (bool alongColumn : {true, false}) {
        const QSet<QRgb> seen = colours(alongColumn);
        const bool varies = alongColumn ? rowsVary : columnsVary;
        if (varies) {
            QVERIFY(seen.contains(QColor(Qt::blue).rgb()));
            QVERIFY(seen.contains(ground.rgb()));
        } else {
            QCOMPARE(seen.size(), 1);
        }
        QVERIFY(!seen.contains(QColor(bkMode == 2 ? Qt::white : Qt::yellow).rgb()));
    }
}

void TestWmfRenderer::text_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QRect>("inked"); // some ink in here
    QTest::addColumn<QRect>("clean"); // none in here
    QTest::addColumn<QStringList>("probes");

    auto font = [](int charSet = 0, const QByteArray &face = "Arial", int escapement = 0) {
        Writer w(true, QRect(0, 0, 200, 100), 96);
        w.createFont(-30, face, charSet, escapement).selectObject(0).setBkMode(1);
        return w;
    };
    QTest::newRow("TextOut, top left")
        << font().textOut(10, 10, "Hello").finish() << QRect(10, 10, 80, 30)
        << QRect(0, 50, 200, 50) << QStringList{};
    QTest::newRow("TA_BASELINE") << font().setTextAlign(24).textOut(10, 50, "Hello").finish()
                                 << QRect(10, 25, 80, 25) << QRect(0, 60, 200, 40) << QStringList{};
    QTest::newRow("TA_BOTTOM") << font().setTextAlign(8).textOut(10, 50, "Hello").finish()
                               << QRect(10, 20, 80, 30) << QRect(0, 52, 200, 48) << QStringList{};
    QTest::newRow("TA_RIGHT") << font().setTextAlign(2).textOut(190, 10, "Hello").finish()
                              << QRect(100, 10, 90, 30) << QRect(0, 0, 80, 100) << QStringList{};
    QTest::newRow("TA_CENTER") << font().setTextAlign(6).textOut(100, 10, "Hello").finish()
                               << QRect(60, 10, 80, 30) << QRect(0, 0, 40, 100) << QStringList{};
    QTest::newRow("escapement 90: upwards")
        << font(0, "Arial", 900).setTextAlign(24).textOut(100, 95, "Hello").finish()
        << QRect(70, 20, 30, 75) << QRect(110, 0, 90, 100) << QStringList{};
    QTest::newRow("ExtTextOut, opaque rectangle")
        << font().setBkColor(Qt::yellow).extTextOut(10, 10, 2, QRect(0, 0, 200, 60), "").finish()
        << QRect() << QRect(0, 0, 200, 100)
        << QStringList{u"100,30=#ffff00"_s, u"100,80=#ffffff"_s};
    QTest::newRow("ExtTextOut, clipped")
        << font().extTextOut(10, 10, 4, QRect(0, 0, 40, 100), "Hello Hello").finish()
        << QRect(10, 10, 30, 30) << QRect(41, 0, 159, 100) << QStringList{};
    QTest::newRow("ExtTextOut, spacing array spreads the letters")
        << font().extTextOut(0, 10, 0, {}, "iiii", {50, 50, 50, 50}).finish()
        << QRect(150, 10, 20, 30) << QRect(15, 0, 30, 100) << QStringList{};
    QTest::newRow("SetBkMode opaque fills behind the text")
        << font().setBkMode(2).setBkColor(Qt::green).textOut(10, 10, "Hello").finish()
        << QRect(10, 10, 80, 30) << QRect(0, 60, 200, 40) << QStringList{u"11,12=#00ff00"_s};
    QTest::newRow("SetTextColor") << font().setTextColor(Qt::red).textOut(10, 10, "HHHH").finish()
                                  << QRect() << QRect(0, 0, 200, 100) << QStringList{};
    QTest::newRow("Big5 text shows its characters")
        << font(136, "\xb7s\xb2\xd3\xa9\xfa\xc5\xe9")
               .textOut(10, 10, "\xa4\xa4\xa4\xe5\xa6r")
               .finish()
        << QRect(10, 10, 100, 35) << QRect(0, 55, 200, 45) << QStringList{};
    QTest::newRow("GB2312 text") << font(134, "SimSun").textOut(10, 10, "\xd6\xd0\xce\xc4").finish()
                                 << QRect(10, 10, 70, 35) << QRect(0, 55, 200, 45) << QStringList{};
    QTest::newRow("Symbol text") << font(2, "Symbol").textOut(10, 10, "abgd").finish()
                                 << QRect(10, 10, 80, 35) << QRect(0, 55, 200, 45) << QStringList{};
    QTest::newRow("cell height (positive) is smaller than character height")
        << Writer(true, QRect(0, 0, 200, 100), 96)
               .createFont(30, "Arial")
               .selectObject(0)
               .setBkMode(1)
               .textOut(10, 10, "HHHH")
               .finish()
        << QRect(10, 10, 80, 27) << QRect(0, 40, 200, 60) << QStringList{};
}

void TestWmfRenderer::text()
{
    QFETCH(QByteArray, file);
    QFETCH(QRect, inked);
    QFETCH(QRect, clean);
    QFETCH(QStringList, probes);
    QString error;
    const QImage image = wmf::render(file, &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    if (!inked.isNull())
        QVERIFY2(inkIn(image, inked) > 20, qPrintable(QString::number(inkIn(image, inked))));
    if (qstrcmp(QTest::currentDataTag(), "SetTextColor") == 0) {
        // Red text: ink that is red, nothing black.
        int red = 0, black = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
                black += c.red() < 60 && c.green() < 60 && c.blue() < 60;
            }
        QVERIFY(red > 50);
        QCOMPARE(black, 0);
    } else {
        QCOMPARE(inkIn(image, clean), 0);
    }
    for (const QString &p : probes) {
        QString why;
        QVERIFY2(probe(image, p, &why), qPrintable(why));
    }
}

QTEST_MAIN(TestWmfRenderer)
#include "tst_wmfrenderer.moc"
