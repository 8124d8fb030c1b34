// What the metafile parser decodes, seen through the recording sink (no pixels).
#include "picture/wmf/wmfparser.h"
#include "picture/wmf/wmftext.h"
#include "wmfrecordingsink.h"
#include "wmfwriter.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <functional>

Q_DECLARE_METATYPE(wmf::Limits)

using namespace Qt::Literals::StringLiterals;
using wmftest::Writer;

namespace {

struct Played
{
    bool ok = false;
    picture::Refusal refusal;
    QStringList calls;
    QList<wmf::TextRun> texts;
};

// Plays a metafile as it stands, starting from a one-to-one mapping.
Played play(const QByteArray &file, const wmf::Limits &limits = {})
{
    Played r;
    wmf::Parser parser(file, limits);
    wmf::RecordingSink sink;
    r.ok = parser.readHeader(&r.refusal) && parser.play(sink, wmf::Mapping(), false, &r.refusal);
    r.calls = sink.calls;
    r.texts = sink.texts;
    return r;
}

Writer plain() { return Writer(false); }

// Plays a placeable metafile onto its own frame at its own size, 96 pixels an inch, as the
// renderer does: every line of the recording sink in picture pixels, numbers rounded to whole
// ones, each text line followed by its run as `text "..." at X,Y em=E width=W weight=N` and
// its styles.
QStringList playFramed(const QByteArray &file, picture::Refusal *error)
{
    wmf::Parser parser(file, wmf::Limits());
    wmf::RecordingSink sink;
    if (!parser.readHeader(error))
        return {};
    const wmf::Header &h = parser.header();
    wmf::Mapping frame;
    frame.windowOrg = QPointF(h.left, h.top);
    frame.windowExt = QSizeF(h.right - h.left, h.bottom - h.top);
    frame.viewportExt = frame.windowExt * 96.0 / h.unitsPerInch;
    if (!parser.play(sink, frame, true, error))
        return {};
    static const QRegularExpression decimal(u"-?\\d+\\.\\d+"_s);
    QStringList lines;
    qsizetype text = 0;
    for (QString line : sink.calls) {
        for (;;) {
            const QRegularExpressionMatch m = decimal.match(line);
            if (!m.hasMatch())
                break;
            line.replace(m.capturedStart(), m.capturedLength(),
                         QString::number(qRound(m.captured().toDouble())));
        }
        lines += line;
        if (!line.startsWith(u"text "_s) || text >= sink.texts.size())
            continue;
        const wmf::TextRun &t = sink.texts[text++];
        lines += u"text \"%1\" at %2,%3 em=%4 width=%5 weight=%6%7%8%9"_s.arg(t.text)
                     .arg(qRound(t.reference.x()))
                     .arg(qRound(t.reference.y()))
                     .arg(qRound(t.emPixels))
                     .arg(qRound(t.widthPixels))
                     .arg(t.weight)
                     .arg(t.italic ? u" italic"_s : QString())
                     .arg(t.underline ? u" underline"_s : QString())
                     .arg(t.strikeOut ? u" strikeout"_s : QString());
    }
    return lines;
}

QByteArray dib24(int w, int h)
{
    return wmftest::dib(w, h, 24, {}, QByteArray(qsizetype((w * 3 + 3) / 4 * 4) * h, '\x40'));
}

// Three pens: red, green, blue in slots 0, 1, 2.
Writer pens()
{
    return plain().createPen(0, 0, Qt::red).createPen(0, 0, Qt::green).createPen(0, 0, Qt::blue);
}

} // namespace

class TestWmfParser : public QObject
{
    Q_OBJECT

private slots:
    void calls_data();
    void calls();
    void texts_data();
    void texts();
    void symbolFacesDrawn_data();
    void symbolFacesDrawn();
    void textRuns();
    void failures_data();
    void failures();
    void exported_data();
    void exported();
};

void TestWmfParser::calls_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected"); // a line a call: its first words, or with $ all

    auto row = [](const char *name, const Writer &w, std::initializer_list<const char *> lines) {
        QStringList expected;
        for (const char *line : lines)
            expected += QString::fromUtf8(line);
        QTest::newRow(name) << w.finish() << expected;
    };
    // Drawing records.
    row("Ellipse", plain().ellipse(10, 20, 40, 60), {"ellipse 10,20 30x40"});
    row("RoundRect", plain().roundRect(10, 20, 40, 60, 8, 6), {"roundrect 10,20 30x40 8x6"});
    row("Arc", plain().arc(0x0817, 0, 0, 100, 100, {100, 50}, {50, 0}), {"arc 0,0 100x100 0 90"});
    row("Chord", plain().arc(0x0830, 0, 0, 100, 100, {0, 50}, {100, 50}),
        {"chord 0,0 100x100 180 180"});
    row("Arc, same start and end: whole ellipse",
        plain().arc(0x0817, 0, 0, 100, 50, {100, 25}, {100, 25}), {"arc 0,0 100x50 0 360"});
    row("MoveTo, LineTo", plain().moveTo(5, 5).lineTo(15, 25).lineTo(0, 0),
        {"polyline 5,5 15,25", "polyline 15,25 0,0"});
    row("Polyline", plain().polyline({{0, 0}, {10, 5}, {20, 0}}), {"polyline 0,0 10,5 20,0"});
    row("Polygon, SetPolyFillMode default", plain().polygon({{0, 0}, {10, 0}, {10, 10}}),
        {"polygon [0,0 10,0 10,10] fill=1"});
    row("PolyPolygon, winding",
        plain().setPolyFillMode(2).polyPolygon(
            {{{0, 0}, {10, 0}, {10, 10}}, {{20, 20}, {30, 20}, {30, 30}}}),
        {"polygon [0,0 10,0 10,10] [20,20 30,20 30,30] fill=2"});
    row("Polygon of no points draws nothing", plain().polygon({}).rectangle(0, 0, 1, 1),
        {"rectangle 0,0 1x1"});
    row("SetPixel", plain().setPixel(3, 4, Qt::red), {"pixel 3,4 #ff0000"});
    row("ExtFloodFill", plain().extFloodFill(7, 8, Qt::blue, 1), {"floodfill 7,8 #0000ff surface"});
    row("FloodFill", plain().record(0x0419, {0x00FF, 0, 8, 7}), {"floodfill 7,8 #ff0000 border"});
    row("PatBlt", plain().patBlt(1, 2, 3, 4, 0x00F00021), {"patblt 1,2 3x4 rop=f00021"});
    row("BitBlt without a bitmap", plain().record(0x0922, {0x21, 0xF0, 0, 0, 0, 4, 3, 2, 1}),
        {"patblt 1,2 3x4 rop=f00021"});
    row("Escape and unknown records are skipped",
        plain().escape(15, "a comment").record(0x0777, {1, 2, 3}).rectangle(0, 0, 1, 1),
        {"rectangle 0,0 1x1"});
    row("nothing after the end record",
        plain().rectangle(0, 0, 1, 1).record(0, {}).ellipse(0, 0, 1, 1), {"rectangle 0,0 1x1"});

    // Regions: region 0, red brush 1.
    const Writer region = plain().createRegion({QRect(10, 10, 20, 10)}).createBrush(0, Qt::red);
    row("FrameRegion", Writer(region).record(0x0429, {0, 1, 2, 3}),
        {"frameregion 10,10 20x10 3x2 brush=#ff0000/0"});
    row("PaintRegion, current brush", Writer(region).record(0x012B, {0}),
        {"fillregion 10,10 20x10 brush=#ffffff/0"});
    row("CreateRegion with a two-byte object count",
        plain()
            .record(0x06FF, {0, 6, 0, 32, 1, 2, 10, 10, 30, 20, 2, 10, 20, 10, 30, 2})
            .createBrush(0, Qt::red)
            .record(0x0228, {0, 1}),
        {"fillregion 10,10 20x10 brush=#ff0000/0"});
    row("FillRegion with a pen instead of a brush: nothing",
        Writer(region).createPen(0, 1, Qt::red).record(0x0228, {0, 2}), {});

    // Bitmaps: where each record puts its bitmap.
    row("StretchDIB", plain().bitmap(0x0F43, {0, 0, 50, 40}, {0, 0, 2, 2}, dib24(2, 2)),
        {"bitmap 0,0 50x40 from 0,0 2x2 of 2x2 rop=cc0020"});
    row("DIBStretchBlt",
        plain().bitmap(0x0B41, {0, 0, 50, 40}, {0, 0, 2, 2}, dib24(2, 2), 0x008800C6),
        {"bitmap 0,0 50x40 from 0,0 2x2 of 2x2 rop=8800c6"});
    row("DIBBitBlt", plain().bitmap(0x0940, {5, 6, 2, 2}, {}, dib24(2, 2)),
        {"bitmap 5,6 2x2 from 0,0 2x2 of 2x2 rop=cc0020"});
    row("SetDIBitsToDevice", plain().bitmap(0x0D33, {5, 6, 3, 2}, {}, dib24(3, 2)),
        {"bitmap 5,6 3x2 from 0,0 3x2 of 3x2 rop=cc0020"});
    // The old device bitmap after rop and geometry: type, width, height, bytes a row,
    // planes | bits a pixel << 8, bits.
    row("BitBlt with a device bitmap",
        plain().record(0x0922, {0x20, 0xCC, 0, 0, 1, 2, 6, 5, 0, 2, 1, 2, 0x0101, 0x40}),
        {"bitmap 5,6 2x1 from 0,0 2x1 of 2x1 rop=cc0020"});
    row("StretchBlt with a device bitmap",
        plain().record(0x0B23, {0x20, 0xCC, 1, 2, 0, 0, 10, 20, 6, 5, 0, 2, 1, 2, 0x0101, 0x40}),
        {"bitmap 5,6 20x10 from 0,0 2x1 of 2x1 rop=cc0020"});
    row("StretchDIB with a pattern-only operation",
        plain().bitmap(0x0F43, {0, 0, 50, 40}, {0, 0, 2, 2}, dib24(2, 2), 0x00F00021),
        {"patblt 0,0 50x40 rop=f00021"});

    // Mapping: where a rectangle lands, in picture pixels.
    row("MM_TEXT ignores extents",
        plain().setMapMode(1).setWindowExt(10, 10).setViewportExt(100, 100).rectangle(0, 0, 10, 20),
        {"rectangle 0,0 10x20"});
    // The fixed modes, MM_LOMETRIC (2) to MM_TWIPS (6): an inch of each one's units, y upwards.
    const int inch[] = {254, 2540, 100, 1000, 1440};
    for (int mode = 2; mode <= 6; ++mode)
        QTest::addRow("fixed map mode %d", mode)
            << plain().setMapMode(mode).rectangle(0, 0, inch[mode - 2], -inch[mode - 2]).finish()
            << QStringList{u"rectangle 0,0 96x96"_s};
    // A window of the given extent onto a viewport of 100x100.
    auto window = [](int mode, int x, int y) {
        return plain().setMapMode(mode).setWindowExt(x, y).setViewportExt(100, 100);
    };
    row("MM_ISOTROPIC", window(7, 200, 100).rectangle(0, 0, 200, 100), {"rectangle 0,0 100x50"});
    row("MM_ANISOTROPIC", window(8, 200, 100).rectangle(0, 0, 200, 100), {"rectangle 0,0 100x100"});
    row("MM_ANISOTROPIC, y flipped", window(8, 100, -100).rectangle(0, 0, 10, 10),
        {"rectangle 0,-10 10x10"});
    row("SetWindowOrg, OffsetWindowOrg",
        plain().setWindowOrg(5, 5).offsetWindowOrg(5, 5).rectangle(10, 10, 20, 20),
        {"rectangle 0,0 10x10"});
    row("SetViewportOrg, OffsetViewportOrg",
        plain().setViewportOrg(7, 8).offsetViewportOrg(3, 3).rectangle(0, 0, 10, 10),
        {"rectangle 10,11 10x10"});
    row("ScaleWindowExt", window(8, 100, 100).scaleWindowExt(2, 1, 4, 1).rectangle(0, 0, 200, 400),
        {"rectangle 0,0 100x100"});
    row("ScaleViewportExt",
        window(8, 100, 100).scaleViewportExt(1, 2, 1, 4).rectangle(0, 0, 100, 100),
        {"rectangle 0,0 50x25"});
    row("zero extent and zero denominator are ignored",
        plain().setWindowExt(0, 5).scaleWindowExt(1, 0, 1, 0).rectangle(0, 0, 10, 10),
        {"rectangle 0,0 10x10"});
    row("unknown map mode is ignored",
        plain().setMapMode(9).setWindowExt(2, 2).rectangle(0, 0, 10, 10), {"rectangle 0,0 5x5"});

    // State: the device context a rectangle at 0,0 1x1 is drawn with.
    auto drawn = [](const char *name, Writer w, const char *context) {
        QTest::newRow(name) << w.rectangle(0, 0, 1, 1).finish()
                            << QStringList{u"rectangle 0,0 1x1 "_s + QString::fromUtf8(context)};
    };
    auto twoSaved = [] {
        return pens().selectObject(0).saveDc().selectObject(1).saveDc().selectObject(2);
    };
    drawn("RestoreDC 2 of 2", twoSaved().restoreDc(2), "pen=#00ff00/0/0");
    drawn("RestoreDC -2 of 2", twoSaved().restoreDc(-2), "pen=#ff0000/0/0");
    drawn("RestoreDC deeper than saved is ignored", twoSaved().restoreDc(-5), "pen=#0000ff/0/0");
    drawn("RestoreDC restores the clip",
          plain().saveDc().intersectClipRect(0, 0, 10, 10).restoreDc(-1),
          "pen=#000000/0/0 brush=#ffffff/0$");
    drawn("a new object takes the lowest free slot",
          pens().deleteObject(1).createPen(0, 0, QColor(1, 2, 3)).selectObject(1),
          "pen=#010203/0/0");
    drawn("selecting an empty slot changes nothing",
          pens().selectObject(0).deleteObject(2).selectObject(2).selectObject(99),
          "pen=#ff0000/0/0");
    drawn("CreatePenIndirect: width and style", plain().createPen(2, 4, Qt::black).selectObject(0),
          "pen=#000000/2/4");
    drawn("CreateBrushIndirect", plain().createBrush(2, Qt::blue, 3).selectObject(0),
          "pen=#000000/0/0 brush=#0000ff/2");
    drawn("IntersectClipRect, OffsetClipRgn",
          plain().intersectClipRect(10, 10, 50, 50).offsetClipRgn(5, 5),
          "pen=#000000/0/0 brush=#ffffff/0 clip=15,15 40x40");
    drawn("ExcludeClipRect",
          plain().intersectClipRect(0, 0, 100, 100).excludeClipRect(0, 0, 50, 100),
          "pen=#000000/0/0 brush=#ffffff/0 clip=50,0 50x100");
    const Writer twoRects = plain().createRegion({QRect(10, 20, 30, 5), QRect(15, 30, 5, 5)});
    drawn("SelectClipRegion", Writer(twoRects).selectClipRegion(0),
          "pen=#000000/0/0 brush=#ffffff/0 clip=10,20 30x15");
    drawn("SelectObject of a region clips too", Writer(twoRects).selectObject(0),
          "pen=#000000/0/0 brush=#ffffff/0 clip=10,20 30x15");
    drawn("SelectClipRegion of no region clears the clip",
          plain().intersectClipRect(10, 10, 50, 50).createPen(0, 0, Qt::red).selectClipRegion(0),
          "pen=#000000/0/0 brush=#ffffff/0$");
    row("SetTextColor, SetTextAlign",
        plain().setTextColor(Qt::red).setTextAlign(24 | 6).textOut(10, 20, "a"),
        {"text 10,20 \"a\" em=-16 angle=0 align=30 color=#ff0000"});
}

void TestWmfParser::calls()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    const Played r = play(file);
    QVERIFY2(r.ok, qPrintable(r.refusal.details.join(u' ')));
    QCOMPARE(r.calls.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QVERIFY2(expected[i].endsWith(u'$')
                     ? r.calls[i] == expected[i].chopped(1)
                     : r.calls[i] == expected[i] || r.calls[i].startsWith(expected[i] + u' '),
                 qPrintable(r.calls[i]));
}

void TestWmfParser::texts_data()
{
    QTest::addColumn<QByteArray>("file"); // the bytes in a font of that set and face
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qreal>>("advances"); // from a spacing array of 10 a byte

    auto row = [](const char *name, int charSet, const char *face, const QByteArray &bytes,
                  const char *text, const QList<qreal> &advances) {
        Writer w = plain().createFont(-20, face, charSet).selectObject(0);
        w.extTextOut(0, 0, 0, {}, bytes, QList<int>(bytes.size(), 10));
        QTest::newRow(name) << w.finish() << QString::fromUtf8(text) << advances;
    };
    row("ANSI", 0, "Arial", "caf\xe9 \x80", "café €", {10, 10, 10, 10, 10, 10});
    row("DEFAULT_CHARSET as ANSI", 1, "Arial", "\xe9", "é", {10});
    row("Big5", 136, "\xb7s\xb2\xd3\xa9\xfa\xc5\xe9",
        "\xa4\xa4\xa4\xe5"
        "A",
        "中文A", {20, 20, 10});
    row("GB2312", 134, "SimSun", "\xd6\xd0\xce\xc4", "中文", {20, 20});
    row("Shift-JIS", 128, "MS Mincho", "\x93\xfa\x96\x7b", "日本", {20, 20});
    row("Hangul", 129, "Gulim", "\xc7\xd1\xb1\xdb", "한글", {20, 20});
    row("Russian", 204, "Arial", "\xcf\xf0\xe8", "При", {10, 10, 10});
    row("Greek", 161, "Arial", "\xe1\xe2", "αβ", {10, 10});
    row("Symbol", 2, "Symbol", "abgp\xa3", "αβγπ≤", {10, 10, 10, 10, 10});
    row("Symbol face with ANSI set", 0, "Symbol", "D", "Δ", {10});
    // Symbol's phi has a stroke (Unicode's phi symbol), its phi1 a loop (Unicode's small phi).
    row("Symbol phi and phi1", 2, "Symbol", "fj", "\u03D5\u03C6", {10, 10});
    row("Wingdings", 2, "Wingdings", "\x25\x2c\xfc", "\U0001F514\U0001F4EA\u2713",
        {10, 0, 10, 0, 10});
    // The symbol faces, a few bytes of each table (pictographs beyond the first plane take
    // two UTF-16 units, the second without an advance of its own).
    row("Wingdings 2", 2, "Wingdings 2", "\x50\x69\x6a", "\U0001F5F8\u24EA\u2460", {10, 0, 10, 10});
    row("Wingdings 3", 2, "Wingdings 3", "\x70\x66\x2f", "\u25B2\u2190\u21DE", {10, 10, 10});
    row("Webdings", 2, "Webdings", "\x61\x4c", "\u2714\U0001F50D", {10, 10, 0});
    row("MT Extra, and a byte it has no character for", 0, "MT Extra", "L\x6c\x90", "\u22EF\u2113 ",
        {10, 10, 10});
    row("Euclid Symbol brace pieces", 0, "Euclid Symbol", "\xec\xed\xee\xef",
        "\u23A7\u23A8\u23A9\u23AA", {10, 10, 10, 10});
    row("Marlett: private use", 2, "Marlett", "\x50", "\uf050", {10});
    row("Big5, lone lead byte at the end", 136, "PMingLiU", "A\xa4", "A\ufffd", {10, 10});
}

void TestWmfParser::texts()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QFETCH(QList<qreal>, advances);
    const Played r = play(file);
    QVERIFY2(r.ok, qPrintable(r.refusal.details.join(u' ')));
    QCOMPARE(r.texts.size(), 1);
    QCOMPARE(r.texts[0].text, text);
    QCOMPARE(r.texts[0].advances, advances);
}

void TestWmfParser::symbolFacesDrawn_data()
{
    QTest::addColumn<QString>("face");
    for (const char *face :
         {"Symbol", "Wingdings", "Wingdings 2", "Wingdings 3", "Webdings", "MT Extra"})
        QTest::newRow(face) << QString::fromLatin1(face);
}

// Every character a symbol face's bytes turn into is drawn by a font the set-up installs, not
// shown as an empty box.
void TestWmfParser::symbolFacesDrawn()
{
    QFETCH(QString, face);
    static const QStringList families = QFontDatabase::families();
    QByteArray bytes;
    for (int b = 0x21; b <= 0xFF; ++b)
        bytes.append(char(b));
    QStringList missing;
    for (char32_t c : wmf::decodeText(bytes, 2, face).toUcs4()) {
        if (c < 0x80)
            continue;
        const bool drawn = std::any_of(families.begin(), families.end(), [c](const QString &f) {
            return QFontMetrics(QFont(f)).inFontUcs4(c);
        });
        if (!drawn)
            missing += QString::number(c, 16);
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
}

void TestWmfParser::textRuns()
{
    // Spacing as (across, up) pairs; with TA_UPDATECP the position moves by both, or without
    // spacing by what the sink drew (the recording sink: half an em a character). Then the
    // font's attributes, and the opaque rectangle, as the sink gets them.
    const Played r = play(plain()
                              .createFont(-20, "Arial")
                              .selectObject(0)
                              .setTextAlign(1)
                              .moveTo(10, 50)
                              .extTextOut(0, 0, 0x2000, {}, "hi", {30, 5, 40, 7})
                              .textOut(0, 0, "x")
                              .extTextOut(0, 0, 0x0010, {}, "\x01\x02")
                              .setTextAlign(0)
                              .setWindowExt(2, 2) // two logical units a pixel
                              .createFont(-40, "Times New Roman", 0, 900, 700, true, true, true, 16)
                              .selectObject(1)
                              .setTextCharExtra(4)
                              .setTextJustification(6, 3)
                              .extTextOut(20, 40, 6, QRect(0, 0, 100, 50), "ab")
                              .finish());
    QVERIFY2(r.ok, qPrintable(r.refusal.details.join(u' ')));
    QCOMPARE(r.texts.size(), 4);
    QCOMPARE(r.texts[0].advances, (QList<qreal>{30, 40}));
    QCOMPARE(r.texts[0].rises, (QList<qreal>{0, 5}));
    QCOMPARE(r.texts[1].reference, QPointF(80, 38));
    QCOMPARE(r.texts[2].reference, QPointF(90, 38));
    QVERIFY(r.texts[2].text.isEmpty()); // glyph indices: nothing we can show
    const wmf::TextRun &t = r.texts[3];
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

void TestWmfParser::failures_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<wmf::Limits>("limits");
    QTest::addColumn<picture::Refusal>("refusal"); // none: must play

    auto row = [](const char *name, const QByteArray &file, const picture::Refusal &refusal,
                  wmf::Limits limits = {}) { QTest::newRow(name) << file << limits << refusal; };
    // Each limit: a file that just keeps to it, and one a step over it.
    auto edge = [](const char *name, wmf::Limits limits, const picture::Refusal &refusal, int ok,
                   const std::function<QByteArray(int)> &make) {
        QTest::addRow(name, ok) << make(ok) << limits << picture::Refusal();
        QTest::addRow(name, ok + 1) << make(ok + 1) << limits << refusal;
    };
    using picture::Reason;
    const auto refused = [](Reason reason, QStringList details = {}) {
        return picture::refused(reason, std::move(details));
    };
    auto times = [](int n, const std::function<void(Writer &)> &add) {
        Writer w(false);
        while (n-- > 0)
            add(w);
        return w.finish();
    };
    const QList<QPoint> three{{0, 0}, {1, 0}, {1, 1}};

    edge("records: %d rectangles", {.maxRecords = 5},
         refused(Reason::MetafileTooManyRecords, {u"5"_s}), 5,
         [&](int n) { return times(n, [](Writer &w) { w.rectangle(0, 0, 1, 1); }); });
    edge("save depth: %d SaveDC", {.maxSaveDepth = 3}, refused(Reason::MetafileTooDeep, {u"3"_s}),
         3, [&](int n) { return times(n, [](Writer &w) { w.saveDc(); }); });
    row("save depth: restored in between",
        plain().saveDc().saveDc().saveDc().restoreDc(-2).saveDc().saveDc().finish(), {},
        {.maxSaveDepth = 3});
    edge("objects: %d pens", {.maxObjects = 3}, refused(Reason::MetafileTooManyObjects, {u"3"_s}),
         3, [&](int n) { return times(n, [](Writer &w) { w.createPen(0, 0, Qt::red); }); });
    row("objects: deleted ones make room", pens().deleteObject(1).createBrush(0, Qt::red).finish(),
        {}, {.maxObjects = 3});
    const picture::Refusal bitmapTooLarge =
        refused(Reason::MetafileBitmapTooLarge, {u"0"_s, u"256"_s});
    edge("one bitmap: %dx10", {.maxBitmapPixels = 100}, bitmapTooLarge, 10, [](int n) {
        return plain().bitmap(0x0F43, {0, 0, 10, 10}, {0, 0, n, 10}, dib24(n, 10)).finish();
    });
    row("one bitmap: RLE claims more than it holds",
        plain()
            .bitmap(0x0F43, {0, 0, 10, 10}, {0, 0, 1000, 1000},
                    wmftest::dib(1000, 1000, 8, {qRgb(0, 0, 0)}, QByteArray::fromHex("0001"), 1))
            .finish(),
        bitmapTooLarge, {.maxBitmapPixels = 100});
    edge("bitmaps decoded: %d of 10x10", {.maxDecodedPixels = 250},
         refused(Reason::MetafileBitmapTooLarge, {u"16"_s, u"0"_s}), 2, [&](int n) {
             return times(n, [](Writer &w) {
                 w.bitmap(0x0F43, {0, 0, 10, 10}, {0, 0, 10, 10}, dib24(10, 10));
             });
         });
    edge("pattern brushes held: %d of 8x8", {.maxHeldBitmapPixels = 128},
         refused(Reason::MetafilePatternsTooLarge), 2,
         [&](int n) { return times(n, [](Writer &w) { w.createPatternBrush(dib24(8, 8)); }); });
    row("pattern brushes held: deleted ones are freed",
        plain()
            .createPatternBrush(dib24(8, 8))
            .createPatternBrush(dib24(8, 8))
            .deleteObject(0)
            .createPatternBrush(dib24(8, 8))
            .finish(),
        {}, {.maxHeldBitmapPixels = 128});
    edge("points in a poly-polygon: %d triangles", {.maxPoints = 6},
         refused(Reason::MetafilePolygonTooComplex, {u"6"_s}), 2,
         [&](int n) { return plain().polyPolygon(QList<QList<QPoint>>(n, three)).finish(); });
    edge("rectangles in a region: %d", {.maxRegionRects = 2},
         refused(Reason::MetafileRegionTooComplex, {u"2"_s}), 2, [](int n) {
             QList<QRect> rects;
             for (int i = 0; i < n; ++i)
                 rects += QRect(0, 10 * i, 5, 5);
             return plain().createRegion(rects).finish();
         });
    // Damaged files.
    const QByteArray good = plain().rectangle(0, 0, 10, 10).finish();
    const picture::Refusal headerCut = refused(Reason::MetafileHeaderCut);
    row("empty", {}, headerCut);
    row("header cut short", good.left(12), headerCut);
    row("placeable header only", Writer(true).finish().left(22), headerCut);
    QByteArray badType = good;
    badType[0] = 3;
    row("unknown type", badType, refused(Reason::MetafileHeaderWrong));
    QByteArray badHeader = good;
    badHeader[2] = 10;
    row("header size not 9 words", badHeader, refused(Reason::MetafileHeaderWrong));
    row("record runs past the end", good.left(good.size() - 8),
        refused(Reason::MetafileRecordPastEnd, {u"1"_s}));
    QByteArray tiny = good;
    tiny[18] = 2; // the rectangle claims two words
    row("record shorter than its own header", tiny,
        refused(Reason::MetafileRecordLength, {u"1"_s}));
    const picture::Refusal cut = refused(Reason::MetafileRecordCut, {u"1"_s});
    row("polygon count beyond its record", plain().record(0x0324, {5, 0, 0, 1, 1}).finish(), cut);
    row("poly-polygon counts beyond its record",
        plain().record(0x0538, {2, 0xFF, 0xFF, 0}).finish(), cut);
    row("text longer than its record", plain().record(0x0521, {0x20, 0x4241}).finish(), cut);
    row("ExtTextOut rectangle missing", plain().record(0x0A32, {0, 0, 1, 4}).finish(), cut);
    row("rectangle with three words", plain().record(0x041B, {1, 2, 3}).finish(), cut);
    row("palette entries beyond its record", plain().record(0x00F7, {0x0300, 0xFF}).finish(), cut);
    row("StretchDIB cut before its bitmap", plain().record(0x0F43, {0x20, 0xCC, 0}).finish(), cut);
}

void TestWmfParser::failures()
{
    QFETCH(QByteArray, file);
    QFETCH(wmf::Limits, limits);
    QFETCH(picture::Refusal, refusal);
    const Played r = play(file, limits);
    QCOMPARE(r.ok, !refusal.isRefused());
    QCOMPARE(r.refusal.reason, refusal.reason);
    QCOMPARE(r.refusal.details, refusal.details);
}

// Metafiles that other programs wrote (tests/data/README says which and from what drawing),
// so that a field we read wrongly is not written the same wrong way by our own writer. What
// each must decode to is taken from the drawing it was made from: its coordinates and sizes
// in pixels, its texts, fonts and colours.
void TestWmfParser::exported_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected"); // lines of playFramed(), in their order

    // LibreOffice Draw crops a drawing to what it draws: text.svg moves 8 pixels up and left,
    // scaled.svg 7, shapes.svg 6. Text is drawn from its baseline (align 24).
    QTest::newRow("LibreOffice: text styles")
        << u"lo-text-styles.wmf"_s
        << QStringList{u"text 2,22 \"Plain text\" em=-20 angle=0 align=24 color=#000000"_s,
                       u"text \"Plain text\" at 2,22 em=-20 width=0 weight=400"_s,
                       u"text 2,52 \"Bold serif\" em=-20 angle=0 align=24 color=#c00000"_s,
                       u"text \"Bold serif\" at 2,52 em=-20 width=0 weight=700"_s,
                       u"text 2,82 \"Under lined\" em=-20 angle=0 align=24 color=#0000c0"_s,
                       u"text \"Under lined\" at 2,82 em=-20 width=0 weight=400 italic underline"_s,
                       // In the GBK character set.
                       u"text \"中文標題\" at 152,22 em=-24 width=0 weight=700"_s};
    // Text scaled across: LibreOffice gives the width as the height times the scale.
    QTest::newRow("LibreOffice: scaled text")
        << u"lo-scaled-text.wmf"_s
        << QStringList{u"text \"Wide text\" at 3,23 em=-20 width=30 weight=400 underline"_s,
                       u"text 3,63 \"Narrow struck\" em=-24 angle=0 align=24 color=#006000"_s,
                       u"text \"Narrow struck\" at 3,63 em=-24 width=17 weight=700 strikeout"_s};
    // Each shape a polygon, strokes as filled outlines: the rectangle's fill, the ellipse from
    // its rightmost point, the triangle.
    QTest::newRow("LibreOffice: shapes")
        << u"lo-shapes.wmf"_s
        << QStringList{
               u"polygon [44,54 4,54 4,4 84,4 84,54 44,54] fill=1 pen=#ffffff/5/0 brush=#ff0000/0"_s,
               u"polygon [179,34"_s,
               u"polygon [14,104 54,69 94,104 14,104] fill=1 pen=#ffffff/5/0 brush=#ffff00/0"_s};
    // Inkscape keeps the drawing's coordinates, at 1200 units an inch.
    QTest::newRow("Inkscape: shapes")
        << u"inkscape-shapes.wmf"_s
        << QStringList{
               u"polygon [10,10 90,10 90,60 10,60 10,10] fill=2 pen=#0000ff/0/2 brush=#ff0000/0"_s,
               u"polygon [185,40"_s,
               u"polygon [20,110 60,75 100,110 20,110] fill=2 pen=#000000/0/1 brush=#ffff00/0"_s,
               u"polyline 110,80 190,110 pen=#800080/0/3"_s};
    QTest::newRow("Inkscape: lines")
        << u"inkscape-lines.wmf"_s
        << QStringList{
               u"polygon [0,0 160,0 160,100 0,100 0,0] fill=2 pen=#000080/0/1 brush=#000000/1"_s,
               u"polyline 10,20 150,20 pen=#000000/0/1"_s,
               u"polyline 10,40 150,40 pen=#ff0000/1/1"_s,
               u"polyline 80,50 80,95 pen=#008000/0/4"_s,
               u"polyline 10,90 40,60 70,90 pen=#0000ff/0/2"_s};
}

void TestWmfParser::exported()
{
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    QFile f(QFINDTESTDATA(u"../data/"_s + file));
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file));
    picture::Refusal error;
    const QStringList lines = playFramed(f.readAll(), &error);
    QCOMPARE(error.reason, picture::Reason::None);
    // In the order drawn; a line given in part stands for one that goes on after a space.
    qsizetype at = 0;
    for (const QString &e : expected) {
        while (at < lines.size() && lines[at] != e && !lines[at].startsWith(e + u' '))
            ++at;
        QVERIFY2(at < lines.size(), qPrintable(e + u"\n\n"_s + lines.join(u'\n')));
        ++at;
    }
}

QTEST_MAIN(TestWmfParser)
#include "tst_wmfparser.moc"
