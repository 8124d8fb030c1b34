// Metafiles the test writes, rendered to pixels: sizes, record families, bitmaps, text.
#include "picture/wmf/wmfparser.h"
#include "picture/wmf/wmfrenderer.h"
#include "wmfwriter.h"

#include "picture/decoder.h"

#include <QTest>

#include <tuple>

Q_DECLARE_METATYPE(wmf::Limits)

using namespace Qt::Literals::StringLiterals;
using wmftest::Writer;

namespace {

// "x,y=#rrggbb": that pixel has the colour, within 24 a channel for antialiasing;
// "x,y,w,h=#rrggbb": more than 20 pixels in that rectangle have it, within 100 (ink of text).
// With "!=" instead: the pixel has another colour; no pixel in the rectangle has it.
bool probe(const QImage &image, const QString &check, QString *why)
{
    const bool negate = check.contains(u"!="_s);
    const QStringList parts = check.split(negate ? u"!="_s : u"="_s);
    QList<int> n;
    for (const QString &s : parts.value(0).split(u','))
        n += s.toInt();
    const QRect r = n.size() == 4 ? QRect(n[0], n[1], n[2], n[3]) : QRect(n[0], n.value(1), 1, 1);
    if (!image.rect().contains(r)) {
        *why = check + u": outside the picture"_s;
        return false;
    }
    const QColor want(parts.value(1));
    const int within = n.size() == 4 ? 100 : 24;
    int near = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor got = image.pixelColor(x, y);
            near += std::abs(got.red() - want.red()) <= within &&
                    std::abs(got.green() - want.green()) <= within &&
                    std::abs(got.blue() - want.blue()) <= within;
        }
    *why = check + u": "_s +
           (n.size() == 4 ? QString::number(near) : image.pixelColor(r.topLeft()).name());
    return negate ? near == 0 : near > (n.size() == 4 ? 20 : 0);
}

// A brush (solid red unless said) and no pen, selected in slots 1 and 0.
Writer filled(QColor color = Qt::red, Writer w = Writer())
{
    return w.createPen(5, 0, Qt::black).selectObject(0).createBrush(0, color).selectObject(1);
}

// A pen (blue unless said) and a null brush, selected in slots 0 and 1.
Writer outlined(int style, int width, QColor color = Qt::blue, Writer w = Writer())
{
    return w.createPen(style, width, color).selectObject(0).createBrush(1, Qt::red).selectObject(1);
}

} // namespace

class TestWmfRenderer : public QObject
{
    Q_OBJECT

private slots:
    void size_data();
    void size();
    void pixels_data();
    void pixels();
    void hatch_data();
    void hatch();
    void atSize_data();
    void atSize();
    void thinLinesAtSize_data();
    void thinLinesAtSize();
    void textWidth_data();
    void textWidth();
    void madeUpBold();
    void textBars_data();
    void textBars();
};

// The picture's size, or when there is none, why.
void TestWmfRenderer::size_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<wmf::Limits>("limits");
    QTest::addColumn<QString>("expected"); // the size as WxH, or for no picture the reason
    QTest::addColumn<int>("side");         // longest side asked for; 0: the picture's own size

    auto row = [](const char *name, const Writer &w, const char *expected, wmf::Limits limits = {},
                  int side = 0) {
        QTest::newRow(name) << w.finish() << limits << QString::fromUtf8(expected) << side;
    };
    row("placeable, frame off the origin, 1000 units an inch; the window does not count",
        Writer(true, QRect(-500, 300, 1000, 500), 1000).setWindowExt(3000, 3000), "96x48");
    row("placeable, no units an inch: twips", Writer(true, QRect(0, 0, 2880, 1440), 0), "192x96");
    row("plain, window extent, in MM_TEXT too",
        Writer(false).setWindowOrg(10, 10).setWindowExt(300, -150).rectangle(0, 0, 1, 1),
        "300x150");
    row("plain, window and viewport extents",
        Writer(false)
            .setMapMode(8)
            .setWindowExt(3000, 1500)
            .setViewportExt(60, 30)
            .rectangle(0, 0, 1, 1),
        "60x30");
    row("plain, what it draws, with the pen",
        Writer(false).createPen(0, 10, Qt::black).selectObject(0).rectangle(100, 100, 300, 200),
        "210x110");
    row("over the side limit: scaled down", Writer(true, QRect(0, 0, 20000, 10000), 96), "1000x500",
        {.maxSide = 1000});
    row("over the pixel limit: scaled down", Writer(true, QRect(0, 0, 20000, 10000), 96), "141x70",
        {.maxPixels = 10000});
    row("plain, large window: scaled to 2048",
        Writer(false).setMapMode(8).setWindowExt(20000, 10000).rectangle(0, 0, 1, 1), "2048x1024");
    row("placeable, large frame: not scaled to 2048", Writer(true, QRect(0, 0, 3000, 1000), 96),
        "3000x1000");
    row("default limits: 8192 a side", Writer(true, QRect(0, 0, 30000, 1000), 96), "8192x273");

    row("plain, at a longest side of 300",
        filled(Qt::red, Writer(false)).ellipse(100, 100, 300, 200), "300x150", {}, 300);
    row("at a longest side beyond the side limit", Writer(true, QRect(0, 0, 100, 50), 96),
        "1000x500", {.maxSide = 1000}, 5000);
    // The platform refuses a window of no size; the picture is then as large as its drawing.
    row("plain, what it draws: SetWindowExt(0,0) ignored",
        filled(Qt::red, Writer(false)).setWindowExt(0, 0).ellipse(100, 100, 300, 200), "200x100");

    // No picture.
    row("placeable, zero width", Writer(true, QRect(0, 0, 0, 100)), "MetafileNoSize");
    row("plain, draws nothing", Writer(false).setMapMode(1), "MetafileNothingDrawn");
}

void TestWmfRenderer::size()
{
    QFETCH(QByteArray, file);
    QFETCH(wmf::Limits, limits);
    QFETCH(QString, expected);
    QFETCH(int, side);
    picture::Refusal refusal;
    const QImage image = wmf::render(file, &refusal, limits, side);
    const QMap<picture::Reason, QString> reasons = {
        {picture::Reason::MetafileNoSize, u"MetafileNoSize"_s},
        {picture::Reason::MetafileNothingDrawn, u"MetafileNothingDrawn"_s}};
    const QString got = image.isNull() ? reasons.value(refusal.reason, u"another reason"_s)
                                       : u"%1x%2"_s.arg(image.width()).arg(image.height());
    QCOMPARE(got, expected);
}

void TestWmfRenderer::pixels_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("probes"); // separated by spaces

    auto row = [](const char *name, const Writer &w, const char *probes) {
        QTest::newRow(name) << w.finish() << QString::fromLatin1(probes);
    };
    row("Rectangle, inside-frame pen", outlined(6, 10).rectangle(20, 20, 80, 80),
        "17,50=#ffffff 23,50=#0000ff");
    row("Ellipse", filled().ellipse(0, 0, 100, 100), "50,50=#ff0000 3,3=#ffffff 50,3=#ff0000");
    row("RoundRect", filled().roundRect(0, 0, 100, 100, 60, 60),
        "50,50=#ff0000 2,2=#ffffff 50,2=#ff0000");
    row("Pie", filled().arc(0x081A, 0, 0, 100, 100, {100, 50}, {50, 0}),
        "70,30=#ff0000 30,30=#ffffff 70,70=#ffffff");
    row("Chord", filled().arc(0x0830, 0, 0, 100, 100, {100, 50}, {50, 0}),
        "80,20=#ff0000 70,30=#ffffff 30,70=#ffffff");
    row("Arc", outlined(0, 6).arc(0x0817, 0, 0, 100, 100, {100, 50}, {50, 0}),
        "85,15=#0000ff 15,85=#ffffff 50,50=#ffffff");
    const QList<QList<QPoint>> nested{{{10, 10}, {90, 10}, {90, 90}, {10, 90}},
                                      {{30, 30}, {70, 30}, {70, 70}, {30, 70}}};
    row("PolyPolygon, alternate", filled().polyPolygon(nested), "20,20=#ff0000 50,50=#ffffff");
    row("PolyPolygon, winding", filled().setPolyFillMode(2).polyPolygon(nested),
        "20,20=#ff0000 50,50=#ff0000");
    // Which width decides whether a pen dashes: the rule we keep is the platform's documented
    // one, at most one device unit (a pixel of the picture's own size), not one logical unit,
    // since only the device width says whether a dash pattern can be drawn. So at half a pixel
    // a unit a 2-unit pen dashes, and at two pixels a unit a 1-unit pen draws solid.
    row("dashed pen, 2 units at half a pixel each: dashed",
        outlined(1, 2, Qt::black, Writer(true, QRect(0, 0, 200, 200), 192))
            .moveTo(0, 100)
            .lineTo(200, 100),
        "2,50!=#ffffff 20,50=#ffffff 26,50!=#ffffff");
    row("dashed pen, 1 unit at two pixels each: solid",
        outlined(1, 1, Qt::black, Writer(true, QRect(0, 0, 50, 50), 48))
            .moveTo(0, 25)
            .lineTo(50, 25),
        "20,50=#000000 22,50=#000000");
    // At the picture's own size one-pixel lines along the axes cover whole pixels, from the
    // start up to the end; other lines stay antialiased.
    row("1-pixel horizontal line on whole pixels",
        outlined(0, 0, Qt::black).moveTo(10, 50).lineTo(90, 50),
        "10,50=#000000 89,50=#000000 90,50=#ffffff 50,49=#ffffff 50,51=#ffffff");
    row("1-pixel rectangle frame on whole pixels", outlined(0, 1).rectangle(20, 20, 80, 80),
        "20,50=#0000ff 79,50=#0000ff 19,50=#ffffff 80,50=#ffffff 50,20=#0000ff 50,79=#0000ff "
        "50,80=#ffffff 50,50=#ffffff");
    row("1-pixel diagonal line antialiased", outlined(0, 0, Qt::black).moveTo(0, 0).lineTo(100, 30),
        "10,0,80,30=#808080");
    // An 8-bit mask and its picture, SRCPAINT then SRCAND (or SRCAND then SRCPAINT), blend as
    // alpha: a quarter-grey SRCPAINT mask shows a quarter of the picture (white shows it all), the
    // same SRCAND mask three quarters (black shows it all). A one-bit pair stays bit by bit.
    const QByteArray grey = wmftest::dib(8, 8, 8, {qRgb(64, 64, 64)}, QByteArray(64, 0));
    const QByteArray blue = wmftest::dib(8, 8, 24, {}, QByteArray("\xff\0\0", 3).repeated(64));
    const QByteArray black1 =
        wmftest::dib(8, 8, 1, {qRgb(0, 0, 0), qRgb(255, 255, 255)}, QByteArray(32, 0));
    auto pair = [&](const QByteArray &mask, quint32 maskRop, quint32 pictureRop) {
        return filled()
            .rectangle(0, 0, 100, 100)
            .bitmap(0x0B41, {0, 0, 100, 100}, {0, 0, 8, 8}, mask, maskRop)
            .bitmap(0x0B41, {0, 0, 100, 100}, {0, 0, 8, 8}, blue, pictureRop);
    };
    row("soft mask, SRCPAINT then SRCAND: blended", pair(grey, 0xEE0086, 0x8800C6),
        "50,50=#bf0040");
    row("soft mask, SRCAND then SRCPAINT: blended", pair(grey, 0x8800C6, 0xEE0086),
        "50,50=#4000bf");
    row("one-bit mask, SRCPAINT then SRCAND: bit by bit", pair(black1, 0xEE0086, 0x8800C6),
        "50,50=#000000");
    row("SetPixel", Writer().setPixel(10, 10, Qt::red), "10,10=#ff0000 11,11=#ffffff");
    row("ExtFloodFill, to a border",
        filled(Qt::red, Writer().rectangle(20, 20, 80, 80)).extFloodFill(50, 50, Qt::black, 0),
        "50,50=#ff0000 22,22=#ff0000 10,10=#ffffff");
    row("ExtFloodFill, a surface", filled(Qt::blue).extFloodFill(50, 50, Qt::white, 1),
        "0,0=#0000ff 99,99=#0000ff");
    // Found by fuzzing: flood fills over the whole picture, twice, once up to a border that is
    // nowhere; both must fill everything (and do it without revisiting pixels).
    row("ExtFloodFill and FloodFill, whole picture",
        filled(Qt::green, Writer(true, QRect(0, 0, 4000, 3000), 1000))
            .extFloodFill(30, 30, Qt::white, 1)
            .createBrush(0, Qt::blue)
            .selectObject(2)
            .record(0x0419, {0x1E, 0x1E, 30, 30}),
        "0,0=#0000ff 383,287=#0000ff");
    // The device bitmap after rop and geometry: type, width, height, bytes a row,
    // planes | bits a pixel << 8, bits.
    row("StretchBlt, one-bit device bitmap takes text and background colours",
        Writer().setTextColor(Qt::red).setBkColor(Qt::blue).record(
            0x0B23, {0x20, 0xCC, 1, 2, 0, 0, 100, 100, 0, 0, 0, 2, 1, 2, 0x0101, 0x40}),
        "25,50=#ff0000 75,50=#0000ff");
    row("PatBlt, PATCOPY", filled(Qt::blue).patBlt(10, 10, 30, 30, 0x00F00021),
        "20,20=#0000ff 50,50=#ffffff");
    row("PatBlt, DSTINVERT", filled().rectangle(0, 0, 100, 100).patBlt(0, 0, 50, 50, 0x00550009),
        "20,20=#00ffff 70,70=#ff0000");
    row("PatBlt, BLACKNESS", Writer().patBlt(0, 0, 50, 50, 0x00000042),
        "20,20=#000000 70,70=#ffffff");
    row("PatBlt, WHITENESS", filled().rectangle(0, 0, 100, 100).patBlt(0, 0, 50, 50, 0x00FF0062),
        "20,20=#ffffff 70,70=#ff0000");
    row("PatBlt, PATINVERT twice",
        filled().patBlt(0, 0, 50, 50, 0x005A0049).patBlt(0, 0, 50, 50, 0x005A0049),
        "20,20=#ffffff");
    row("SetROP2, R2_XORPEN", filled().setRop2(7).rectangle(0, 0, 50, 50),
        "20,20=#00ffff 55,20=#ffffff 70,70=#ffffff");
    row("SetROP2, R2_NOP", filled().setRop2(11).rectangle(0, 0, 50, 50), "20,20=#ffffff");
    row("SetROP2, R2_BLACK", filled().setRop2(1).rectangle(0, 0, 50, 50), "20,20=#000000");
    row("ExcludeClipRect leaves a hole",
        filled().excludeClipRect(25, 25, 75, 75).rectangle(0, 0, 100, 100),
        "10,10=#ff0000 50,50=#ffffff");
    const Writer region =
        filled().createRegion({QRect(10, 10, 50, 50)}).createBrush(0, Qt::blue); // 2, 3
    row("FillRegion", Writer(region).record(0x0228, {2, 3}), "20,20=#0000ff 70,70=#ffffff");
    row("FrameRegion", Writer(region).record(0x0429, {2, 3, 3, 3}),
        "11,30=#0000ff 58,30=#0000ff 35,35=#ffffff 8,30=#ffffff");
    row("InvertRegion", Writer(region).record(0x012A, {2}), "20,20=#000000 70,70=#ffffff");
    row("DibCreatePatternBrush",
        Writer()
            .createPatternBrush(wmftest::dib(2, 1, 24, {}, QByteArray::fromHex("0000ffff00000000")))
            .selectObject(0)
            .rectangle(0, 0, 100, 100),
        "10,10=#ff0000 11,10=#0000ff 10,11=#ff0000");
    row("placeable, window origin and extent map onto the frame",
        filled().setWindowOrg(-50, 0).setWindowExt(1000, 1000).rectangle(0, 0, 500, 500),
        "30,25=#ff0000 2,25=#ffffff 75,75=#ffffff");
    row("placeable, viewport records are the player's",
        filled().setViewportExt(10, 10).setViewportOrg(50, 50).rectangle(0, 0, 50, 50),
        "25,25=#ff0000 75,75=#ffffff");

    // Bitmaps stretched over the picture: a 2x2 one is red, green on top; blue, black below
    // (the file holds the bottom row first).
    auto stretched = [](const QByteArray &dib, QSize source = {2, 2}, quint32 rop = 0x00CC0020,
                        Writer w = Writer(), int colorUsage = 0) {
        return w.bitmap(0x0F43, {0, 0, 100, 100}, {{0, 0}, source}, dib, rop, colorUsage);
    };
    const QList<QRgb> four{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)};
    auto hex = [](const char *h) { return QByteArray::fromHex(h); };
    const char *quad = "25,25=#ff0000 75,25=#00ff00 25,75=#0000ff 75,75=#000000";
    row("4 bits", stretched(wmftest::dib(2, 2, 4, four, hex("2300000001000000"))), quad);
    row("8 bits", stretched(wmftest::dib(2, 2, 8, four, hex("0203000000010000"))), quad);
    row("16 bits", stretched(wmftest::dib(2, 2, 16, {}, hex("1f000000007ce003"))), quad);
    const QByteArray bgr = hex("ff000000000000000000ff00ff000000");
    row("24 bits, top-down",
        stretched(wmftest::dib(2, -2, 24, {}, hex("0000ff00ff000000ff00000000000000"))), quad);
    row("24 bits, old header", stretched(hex("0c0000000200020001001800") + bgr), quad);
    row("32 bits", stretched(wmftest::dib(2, 2, 32, {}, hex("ff000000000000000000ff0000ff0000"))),
        quad);
    row("16 bits, bit fields 5-6-5",
        stretched(wmftest::dib(2, 2, 16, {}, hex("1f00000000f8e007"), 3, {0xF800, 0x07E0, 0x001F})),
        quad);
    // Four wide: three pixels as they are, one repeated.
    row("RLE8, absolute run",
        stretched(
            wmftest::dib(4, 2, 8, four, hex("00030202030001030000000300000100010100000001"), 1),
            {4, 2}),
        quad);
    row("RLE4", stretched(wmftest::dib(2, 2, 4, four, hex("02230000020100000001"), 2)), quad);
    row("1 bit",
        stretched(
            wmftest::dib(2, 2, 1, {qRgb(255, 0, 0), qRgb(0, 0, 255)}, hex("8000000040000000"))),
        "25,25=#ff0000 75,25=#0000ff 25,75=#0000ff 75,75=#ff0000");
    // The colour table holds palette indices (1, 0) instead of colours.
    QByteArray indexed = wmftest::dib(2, 1, 1, {}, {}) + hex("0100000040000000");
    indexed[32] = 2; // two colours used
    row("1 bit, colours from the palette",
        stretched(indexed, {2, 1}, 0x00CC0020,
                  Writer().createPalette({qRgb(255, 0, 0), qRgb(0, 0, 255)}).record(0x0234, {0}),
                  1),
        "25,50=#0000ff 75,50=#ff0000");
    // Over a yellow ground with a red brush: white and black halves through the operations.
    const QByteArray whiteBlack = wmftest::dib(2, 1, 24, {}, hex("ffffff0000000000"));
    const Writer yellow =
        filled(Qt::yellow).rectangle(0, 0, 100, 100).createBrush(0, Qt::red).selectObject(2);
    for (const auto &[name, rop, probes] : {
             std::tuple{"SRCAND", 0x008800C6, "25,50=#ffff00 75,50=#000000"},
             std::tuple{"SRCPAINT", 0x00EE0086, "25,50=#ffffff 75,50=#ffff00"},
             std::tuple{"SRCINVERT", 0x00660046, "25,50=#0000ff 75,50=#ffff00"},
             std::tuple{"NOTSRCCOPY", 0x00330008, "25,50=#000000 75,50=#ffffff"},
             std::tuple{"SRCERASE", 0x00440328, "25,50=#0000ff 75,50=#000000"},
             std::tuple{"MERGEPAINT", 0x00BB0226, "25,50=#ffff00 75,50=#ffffff"},
             std::tuple{"brush through black", 0x00B8074A, "25,50=#ffff00 75,50=#ff0000"},
         })
        row(name, stretched(whiteBlack, {2, 1}, quint32(rop), yellow), probes);

    // Text: ink in one rectangle, none in another.
    auto font = [](int height = -30, const QByteArray &face = "Arial", int charSet = 0,
                   int escapement = 0, bool italic = false) {
        return Writer(true, QRect(0, 0, 200, 100), 96)
            .createFont(height, face, charSet, escapement, 400, italic)
            .selectObject(0)
            .setBkMode(1);
    };
    row("TextOut, top left, SetTextColor", font().setTextColor(Qt::red).textOut(10, 10, "Hello"),
        "10,10,80,30=#ff0000 0,50,200,50!=#ff0000 0,0,200,100!=#000000");
    row("TA_CENTER, TA_BASELINE", font().setTextAlign(6 | 24).textOut(100, 50, "Hello"),
        "60,25,80,25=#000000 0,0,60,100!=#000000 140,0,60,100!=#000000 0,52,200,48!=#000000");
    row("TA_RIGHT, TA_BOTTOM", font().setTextAlign(2 | 8).textOut(190, 90, "Hello"),
        "120,60,70,25=#000000 0,0,115,100!=#000000 0,0,200,55!=#000000");
    row("escapement 90: upwards",
        font(-30, "Arial", 0, 900).setTextAlign(24).textOut(100, 95, "Hello"),
        "70,20,30,75=#000000 110,0,90,100!=#000000");
    row("ExtTextOut, opaque rectangle",
        font().setBkColor(Qt::yellow).extTextOut(10, 10, 2, QRect(0, 0, 200, 60), ""),
        "100,30=#ffff00 100,80=#ffffff 0,0,200,100!=#000000");
    row("ExtTextOut, clipped", font().extTextOut(10, 10, 4, QRect(0, 0, 40, 100), "Hello Hello"),
        "10,10,30,30=#000000 41,0,159,100!=#000000");
    row("ExtTextOut, spacing array spreads the letters",
        font().extTextOut(0, 10, 0, {}, "iiii", {50, 50, 50, 50}),
        "150,10,20,30=#000000 15,0,30,100!=#000000");
    row("SetBkMode opaque fills behind the text",
        font().setBkMode(2).setBkColor(Qt::green).textOut(10, 10, "Hello"),
        "10,10,80,30=#000000 0,60,200,40!=#000000 11,12=#00ff00");
    row("cell height (positive) is smaller than character height", font(80).textOut(10, 10, "HH"),
        "15,25,90,50=#000000 0,77,200,23!=#000000 110,0,90,100!=#000000");
    // Symbol's Greek asked for in italic slants: the top of a capital iota moves right.
    row("Symbol upright", font(-80, "Symbol", 2).textOut(40, 10, "I"),
        "60,22,5,8!=#000000 49,40,3,15=#000000");
    row("Symbol in italic: slanted", font(-80, "Symbol", 2, 0, true).textOut(40, 10, "I"),
        "60,22,5,8=#000000 49,40,3,15!=#000000");
    // Symbol's brackets reach 0.68 em above the baseline (OpenSymbol's 0.86): drawn by its
    // metric clone they stay below the top of this picture.
    row("Symbol bracket: as tall as Symbol's",
        font(-100, "Symbol", 2).setTextAlign(24).textOut(60, 95, "("),
        "0,0,200,22!=#000000 60,40,40,40=#000000");
    // Symbol's phi (f) has a straight stroke rising well above the bowl, its phi1 (j) a loop
    // no higher than the other small letters: ink 55 to 70 hundredths of an em above the
    // baseline for one, none for the other.
    row("Symbol phi: stroked", font(-100, "Symbol", 2).setTextAlign(24).textOut(60, 90, "f"),
        "60,20,50,15=#000000");
    row("Symbol phi1: looped", font(-100, "Symbol", 2).setTextAlign(24).textOut(60, 90, "j"),
        "60,20,50,15!=#000000 60,45,50,40=#000000");
}

void TestWmfRenderer::pixels()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, probes);
    const QImage image = wmf::render(file, nullptr);
    QVERIFY(!image.isNull());
    for (const QString &p : probes.split(u' ')) {
        QString why;
        QVERIFY2(probe(image, p, &why), qPrintable(why));
    }
}

// Hatched brushes: which ways their lines run, across, down, down to the right (\) or down to
// the left (/); the ground shows between them, or the background colour where it is opaque.
void TestWmfRenderer::hatch_data()
{
    QTest::addColumn<int>("hatch");
    QTest::addColumn<bool>("opaque");
    QTest::addColumn<QString>("lines"); // for each of those four ways, 1 if a line runs that way
    QTest::newRow("horizontal") << 0 << false << u"1000"_s;
    QTest::newRow("vertical") << 1 << false << u"0100"_s;
    QTest::newRow("forward diagonal") << 2 << false << u"0010"_s;
    QTest::newRow("backward diagonal") << 3 << false << u"0001"_s;
    QTest::newRow("cross") << 4 << false << u"1100"_s;
    QTest::newRow("diagonal cross, opaque background") << 5 << true << u"0011"_s;
}

void TestWmfRenderer::hatch()
{
    QFETCH(int, hatch);
    QFETCH(bool, opaque);
    QFETCH(QString, lines);
    Writer w = filled(Qt::blue).createBrush(2, Qt::blue, hatch).selectObject(2);
    w.setBkMode(opaque ? 2 : 1).setBkColor(Qt::yellow).rectangle(0, 0, 100, 100);
    const QImage image = wmf::render(w.finish(), nullptr);
    const QRgb blue = QColor(Qt::blue).rgb();
    // From the pixels of one 8x8 tile in the middle: their colours, and the ways 40 blue pixels
    // in a row run.
    QSet<QRgb> seen;
    QString found;
    for (QPoint step : {QPoint(1, 0), QPoint(0, 1), QPoint(1, 1), QPoint(-1, 1)}) {
        bool line = false;
        for (int i = 0; i < 64; ++i) {
            const QPoint at(40 + i % 8, 40 + i / 8);
            seen.insert(image.pixel(at));
            int n = 0;
            while (n < 40 && image.pixel(at + n * step) == blue)
                ++n;
            line = line || n == 40;
        }
        found += line ? u'1' : u'0';
    }
    QCOMPARE(found, lines);
    QCOMPARE(seen, (QSet<QRgb>{blue, QColor(opaque ? Qt::yellow : Qt::white).rgb()}));
}

void TestWmfRenderer::atSize_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("probes"); // as in pixels(), on the 1000-pixel picture
    // A metafile is drawn again: its one-pixel line stays one pixel thin.
    QTest::newRow("metafile") << outlined(0, 0, Qt::black).moveTo(0, 50).lineTo(100, 50).finish()
                              << u"500,500!=#ffffff 500,495=#ffffff 500,505=#ffffff"_s;
    // Another picture is scaled smoothly: its two colours meet through shades between. A BMP
    // file: its own 14-byte header (type, size, offset of the bits), then red and blue.
    const QByteArray bmp = QByteArray::fromHex("424d 3e000000 00000000 36000000") +
                           wmftest::dib(2, 1, 24, {}, QByteArray::fromHex("0000ffff00000000"));
    QTest::newRow("BMP") << bmp << u"100,250=#ff0000 900,250=#0000ff 500,250=#800080"_s;
}

void TestWmfRenderer::atSize()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, probes);
    const picture::Picture picture = picture::decode(file, {.fitTo = {}, .longestSide = 1000});
    QVERIFY(!picture.isNull());
    QCOMPARE(qMax(picture.image.width(), picture.image.height()), 1000);
    for (const QString &p : probes.split(u' ')) {
        QString why;
        QVERIFY2(probe(picture.image, p, &why), qPrintable(why));
    }
}

// Lines of a zero-width pen, and of a pen one pixel of the picture's own size wide, drawn at
// a longest side of 1024: whole pixels, solid, none half-covered.
void TestWmfRenderer::thinLinesAtSize_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("probes"); // as in pixels(), on the 1024-pixel picture

    auto row = [](const char *name, const Writer &w, const char *probes) {
        QTest::newRow(name) << w.finish() << QString::fromLatin1(probes);
    };
    // 128 units at 96 an inch: eight pixels a unit, so unit 64 falls on the edge between
    // pixels 511 and 512.
    const Writer eight(true, QRect(0, 0, 128, 128), 96);
    row("zero-width pen on a pixel edge: one row",
        outlined(0, 0, Qt::black, eight).moveTo(0, 64).lineTo(128, 64),
        "500,512=#000000 500,511=#ffffff 500,513=#ffffff");
    row("zero-width frame: the outermost pixels, solid",
        outlined(0, 0, Qt::blue, eight).rectangle(0, 0, 128, 128),
        "0,500=#0000ff 1023,500=#0000ff 500,0=#0000ff 500,1023=#0000ff 1,500=#ffffff "
        "1022,500=#ffffff 500,1=#ffffff 500,500=#ffffff");
    // 320 units: 3.2 pixels a unit. Unit 100 is pixel 320's edge; unit 101 is 323.2.
    const Writer fractional(true, QRect(0, 0, 320, 320), 96);
    row("zero-width pen, 3.2 pixels a unit: one row on the edge, one row off it",
        outlined(0, 0, Qt::black, fractional)
            .moveTo(0, 100)
            .lineTo(100, 100)
            .moveTo(150, 101)
            .lineTo(250, 101),
        "200,320=#000000 200,319=#ffffff 200,321=#ffffff 600,323=#000000 600,322=#ffffff "
        "600,324=#ffffff");
    row("one-pixel pen, 3.2 pixels a unit: three whole rows",
        outlined(0, 1, Qt::black, fractional).moveTo(0, 100).lineTo(320, 100),
        "500,318=#ffffff 500,319=#000000 500,321=#000000 500,322=#ffffff");
    row("zero-width vertical line on a pixel edge: one column",
        outlined(0, 0, Qt::black, eight).moveTo(64, 0).lineTo(64, 128),
        "512,500=#000000 511,500=#ffffff 513,500=#ffffff");
}

void TestWmfRenderer::thinLinesAtSize()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, probes);
    const QImage image = wmf::render(file, nullptr, wmf::Limits(), 1024);
    QCOMPARE(image.size(), QSize(1024, 1024));
    for (const QString &p : probes.split(u' ')) {
        QString why;
        QVERIFY2(probe(image, p, &why), qPrintable(why));
    }
}

// A font record's width is the average character width the face is stretched to, the average
// the platform takes: the lower-case letters and the space, each as often as English has it
// in a thousand characters. A run of exactly those thousand characters is then a thousand
// widths long, whatever the face and style (of faces that have lower-case letters). The file
// has no frame: its picture is as wide as the run.
void TestWmfRenderer::textWidth_data()
{
    QTest::addColumn<QByteArray>("face");
    QTest::addColumn<int>("weight");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<int>("width"); // of the picture, pixels

    // Each face and style has its own average: a cache that mixed them up fails one of these.
    QTest::newRow("Arial") << QByteArray("Arial") << 400 << false << 1000;
    QTest::newRow("Arial bold") << QByteArray("Arial") << 700 << false << 1000;
    QTest::newRow("Times New Roman italic") << QByteArray("Times New Roman") << 400 << true << 1000;
    QTest::newRow("Times New Roman bold") << QByteArray("Times New Roman") << 700 << false << 1000;
    // A face without a bold style drawn bold: each glyph smeared a pixel (a fiftieth of an em
    // of 20 pixels is less), and each character a pixel further on.
    QTest::newRow("PMingLiU bold, made up") << QByteArray("PMingLiU") << 700 << false << 2000;
}

void TestWmfRenderer::textWidth()
{
    QFETCH(QByteArray, face);
    QFETCH(int, weight);
    QFETCH(bool, italic);
    QFETCH(int, width);
    constexpr int perThousand[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                     56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};
    QByteArray thousand;
    for (int i = 0; i < 27; ++i)
        thousand += QByteArray(perThousand[i], i < 26 ? char('a' + i) : ' ');
    QCOMPARE(thousand.size(), 1000);
    const QByteArray file = Writer(false)
                                .createFont(-20, face, 0, 0, weight, italic, false, false, 1)
                                .selectObject(0)
                                .setBkMode(1)
                                .textOut(0, 0, thousand)
                                .finish();
    const QImage image = wmf::render(file, nullptr);
    QVERIFY(!image.isNull());
    QVERIFY2(std::abs(image.width() - width) <= 1, qPrintable(QString::number(image.width())));
}

// Bold asked of a face that has no bold (AR PL UMing stands in for the Ming faces) is drawn
// emboldened: more ink, smeared to the right of where the regular glyphs start.
void TestWmfRenderer::madeUpBold()
{
    auto ink = [](int weight, QRect *box) {
        const QByteArray file = Writer(true, QRect(0, 0, 300, 100), 96)
                                    .createFont(-60, "PMingLiU", 136, 0, weight)
                                    .selectObject(0)
                                    .setBkMode(1)
                                    .textOut(20, 20, "\xa4\xa4\xa4\xe5")
                                    .finish();
        const QImage image = wmf::render(file, nullptr);
        int dark = 0;
        *box = QRect();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128) {
                    ++dark;
                    *box |= QRect(x, y, 1, 1);
                }
        return dark;
    };
    QRect regularBox, boldBox;
    const int regular = ink(400, &regularBox);
    const int bold = ink(700, &boldBox);
    QVERIFY2(regular > 200 && bold > regular * 23 / 20,
             qPrintable(u"%1 dark pixels regular, %2 bold"_s.arg(regular).arg(bold)));
    QCOMPARE(boldBox.left(), regularBox.left());
    QVERIFY2(
        boldBox.right() > regularBox.right(),
        qPrintable(u"ink to %1 regular, %2 bold"_s.arg(regularBox.right()).arg(boldBox.right())));
}

// Underline and strikeout: one bar from the run's start to its end, spaces included, where
// the face (Liberation Sans for Arial) puts it, as thick as the face makes it.
void TestWmfRenderer::textBars_data()
{
    QTest::addColumn<bool>("underline");
    QTest::addColumn<int>("top");    // first row of the bar, from the baseline down
    QTest::addColumn<int>("height"); // rows
    // Of 2048 units: the underline's top 67 below the baseline, 150 thick; the strikeout's top
    // 530 above, 102 thick. At 60 pixels an em: 2 below, 4.4 thick; 15.5 above, 3 thick.
    QTest::newRow("underline") << true << 2 << 4;
    QTest::newRow("strikeout") << false << -16 << 3;
}

void TestWmfRenderer::textBars()
{
    QFETCH(bool, underline);
    QFETCH(int, top);
    QFETCH(int, height);
    // Two letters four spaces apart, each character 20 pixels on: the run goes from 10 to 130.
    const QByteArray file = Writer(true, QRect(0, 0, 200, 100), 96)
                                .createFont(-60, "Arial", 0, 0, 400, false, underline, !underline)
                                .selectObject(0)
                                .setBkMode(1)
                                .setTextAlign(24)
                                .extTextOut(10, 70, 0, {}, "a    b", QList<int>(6, 20))
                                .finish();
    const QImage image = wmf::render(file, nullptr);
    // Down the middle of the spaces: exactly the bar's rows are dark.
    QString rows;
    for (int y = 0; y < image.height(); ++y)
        if (qGray(image.pixel(60, y)) < 128)
            rows += QString::number(y - 70) + u' ';
    QString expected;
    for (int y = top; y < top + height; ++y)
        expected += QString::number(y) + u' ';
    QCOMPARE(rows, expected);
    // Along the bar, from the run's first pixel to its last.
    const int y = 70 + top;
    for (int x = 10; x < 130; ++x)
        QVERIFY2(qGray(image.pixel(x, y)) < 128, qPrintable(u"%1,%2 not dark"_s.arg(x).arg(y)));
    QVERIFY(qGray(image.pixel(9, y)) > 200);
    QVERIFY(qGray(image.pixel(130, y)) > 200);
}

QTEST_MAIN(TestWmfRenderer)
#include "tst_wmfrenderer.moc"
