// The decoders, fed files made here: formats told by content, JPEG orientation, GIF frames,
// palette and grey pictures, size limits, and names that are not pictures at all. Each refusal
// is checked by its reason and details; the sentences the player reads are checked once, in
// tst_refusaltext.
#include "testpictures.h"
#include "wmfwriter.h"

#include "loading/picturefile.h"
#include "picture/decoder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;

// Makes a row's file at the path it is given; false when it cannot.
using Fixture = std::function<bool(const QString &path)>;
Q_DECLARE_METATYPE(Fixture)

using picture::Reason;

namespace {

Fixture bytesFile(const QByteArray &bytes)
{
    return [bytes](const QString &path) { return writeFile(path, bytes); };
}

// Files that carry a picture's extension but are no picture file, or not one we may read.
bool nothing(const QString &) { return true; }
bool fifo(const QString &path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }
bool folder(const QString &path) { return QDir().mkpath(path); }
bool dangling(const QString &path) { return QFile::link(path + u".nowhere"_s, path); }
bool selfLink(const QString &path) { return QFile::link(path, path); }

// An SVG that names a red picture beside it over the whole of its drawing, by the references
// its <image> elements hold, made from the red picture's absolute path. References relative to
// the process's folder lead there too: the test makes it the picture's, with the folders "#"
// and "DATA:" in it, through which odd references would lead back.
using References = std::function<QList<QByteArray>(const QByteArray &red)>;
Fixture svgNaming(const References &references)
{
    return [references](const QString &path) {
        const QString folder = QFileInfo(path).absolutePath();
        QImage red(120, 80, QImage::Format_RGB32);
        red.fill(Qt::red);
        QByteArray images;
        for (const QByteArray &reference : references(QFile::encodeName(folder) + "/red.png"))
            images += "<image x=\"0\" y=\"0\" width=\"120\" height=\"80\" xlink:href=\"" +
                      reference + "\"/>";
        return QDir(folder).mkpath(u"#"_s) && QDir(folder).mkpath(u"DATA:"_s) &&
               writeFile(folder + u"/red.png"_s, encoded(red, "png")) &&
               writeFile(path, svgQuarters("viewBox=\"0 0 120 80\"", images));
    };
}

// An SVG document inside a data: reference, whose one image holds the reference given.
QByteArray nestedSvg(const QByteArray &reference)
{
    const QByteArray inner = svgQuarters(
        "viewBox=\"0 0 120 80\"",
        "<image x=\"0\" y=\"0\" width=\"120\" height=\"80\" xlink:href=\"" + reference + "\"/>");
    return "data:image/svg+xml;base64," + inner.toBase64();
}

bool locked(const QString &path)
{
    return writeFile(path, encoded(quadrants({8, 8}), "bmp")) &&
           QFile::setPermissions(path, QFileDevice::WriteOwner);
}
bool pastFileLimit(const QString &path)
{
    QFile huge(path); // sparse: costs no disk
    return huge.open(QIODevice::WriteOnly) && huge.write(encoded(quadrants({8, 8}), "jpeg")) > 0 &&
           huge.resize(picture::MaxFileBytes + 1);
}
// Four coloured quarters in the formats most rows start from.
struct Sources
{
    QImage q = quadrants({30, 20});
    QByteArray jpeg = encoded(q, "jpeg", 95), progressive = encoded(q, "jpeg", 95, true),
               png = encoded(q, "png");
};

// A JPEG whose frame header names another kind of frame, or another precision.
QByteArray jpegFrame(QByteArray jpeg, char marker, char precision = 8)
{
    const qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    jpeg[frame + 1] = marker;
    jpeg[frame + 4] = precision;
    return jpeg;
}

// Three frames of 120 x 90, red, green and blue: more than 100 pixels a row puts clear codes
// mid-row.
QList<QImage> gifFrames()
{
    const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    QList<QImage> frames(3, QImage(120, 90, QImage::Format_Indexed8));
    for (int i = 0; i < 3; ++i) {
        frames[i].setColorTable(palette);
        frames[i].fill(uint(i + 1));
    }
    return frames;
}

bool linkToPicture(const QString &path)
{
    return writeFile(path + u".bmp"_s, encoded(quadrants({10, 6}), "bmp")) &&
           QFile::link(path + u".bmp"_s, path);
}

} // namespace

class TestDecoder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Where references relative to the process's folder lead.
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }

    // Photos, SVGs and metafiles of one size asked for one size come out alike: one rule sizes
    // them all, and it rounds the same way and keeps to the limits for each.
    void sameSizeEveryKind_data()
    {
        QTest::addColumn<QSize>("natural");
        QTest::addColumn<QSize>("fitTo");
        QTest::addColumn<int>("longestSide");
        QTest::addColumn<qint64>("maxPixels");
        QTest::addColumn<QSize>("made");
        const qint64 all = picture::MaxPixels;
        QTest::newRow("covers the box")
            << QSize(300, 200) << QSize(100, 100) << 0 << all << QSize(150, 100);
        QTest::newRow("covers, rounding to nearest")
            << QSize(333, 111) << QSize(100, 100) << 0 << all << QSize(300, 100);
        QTest::newRow("never larger than its own")
            << QSize(120, 80) << QSize(607, 477) << 0 << all << QSize(120, 80);
        QTest::newRow("longest side, larger")
            << QSize(300, 200) << QSize() << 450 << all << QSize(450, 300);
        QTest::newRow("longest side, rounding")
            << QSize(301, 199) << QSize() << 100 << all << QSize(100, 66);
        QTest::newRow("pixel limit, rounded down where nearest passes it")
            << QSize(100, 30) << QSize() << 1000 << qint64(12345) << QSize(202, 60);
    }
    void sameSizeEveryKind()
    {
        QFETCH(QSize, natural);
        QFETCH(QSize, fitTo);
        QFETCH(int, longestSide);
        QFETCH(qint64, maxPixels);
        QFETCH(QSize, made);
        const int w = natural.width(), h = natural.height();
        QImage photo(natural, QImage::Format_RGB32);
        photo.fill(Qt::red);
        wmftest::Writer metafile(true, QRect(0, 0, w, h), 96);
        metafile.rectangle(0, 0, w, h);
        const QByteArray svg = QStringLiteral(R"(<svg xmlns="http://www.w3.org/2000/svg" )"
                                              R"(width="%1" height="%2"><rect width="%1" )"
                                              R"(height="%2" fill="red"/></svg>)")
                                   .arg(w)
                                   .arg(h)
                                   .toUtf8();
        picture::Limits limits;
        limits.maxPixels = maxPixels;
        const picture::Request request{fitTo, longestSide, 1};
        for (const auto &[kind, bytes] :
             {std::pair{"PNG", encoded(photo, "png")}, std::pair{"SVG", svg},
              std::pair{"WMF", metafile.finish()}}) {
            const picture::Picture decoded = picture::decode(bytes, request, limits);
            QVERIFY2(!decoded.isNull(), kind);
            QVERIFY2(decoded.image.size() == made, qPrintable(QStringLiteral("%1: %2x%3")
                                                                  .arg(QLatin1String(kind))
                                                                  .arg(decoded.image.width())
                                                                  .arg(decoded.image.height())));
        }
    }

    // The extension may lie; the first bytes decide. Palette and grey pictures give colours,
    // a GIF its first frame; damaged files that still hold their pixels show them.
    void load_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Fixture>("fixture");
        QTest::addColumn<QSize>("fitTo"); // the preview's reduced decoding
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<QColor>>("quarters");

        const QImage q = quadrants({30, 20}),
                     indexed = quadrants({64, 48}).convertToFormat(QImage::Format_Indexed8);
        const QSize s(30, 20), grid(64, 48);
        auto loads = [](const char *row, const char *name, const QByteArray &bytes, QSize size,
                        const QList<QColor> &quarters) {
            QTest::newRow(row) << QString::fromLatin1(name) << bytesFile(bytes) << QSize() << size
                               << quarters;
        };
        loads("BMP as .bmp", "a.bmp", encoded(q, "bmp"), s, Upright);
        loads("BMP named .jpg", "b.jpg", encoded(q, "bmp"), s, Upright);
        loads("JPEG named .gif", "c.gif", encoded(q, "jpeg", 95), s, Upright);
        loads("GIF named .bmp", "e.bmp", gif({q.convertToFormat(QImage::Format_Indexed8)}), s,
              Upright);
        loads("ICO named .wmf", "f.wmf", encoded(q, "ico"), s, Upright);
        loads("8-bit palette BMP", "p.bmp", encoded(indexed, "bmp"), grid, Upright);
        loads("palette GIF", "p.gif", gif({indexed}), grid, Upright);
        QImage mono(64, 48, QImage::Format_Mono);
        mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        mono.fill(0);
        for (int y = 0; y < 48; ++y)
            for (int x = 32; x < 64; ++x)
                mono.setPixel(x, y, 1);
        const QColor white(Qt::white), black(Qt::black), dark(40, 40, 40), light(200, 200, 200);
        loads("1-bit BMP", "m.bmp", encoded(mono, "bmp"), grid,
              QList<QColor>{white, black, white, black});
        QImage grey(64, 48, QImage::Format_Grayscale8);
        for (int y = 0; y < 48; ++y)
            std::memset(grey.scanLine(y), y < 24 ? 40 : 200, 64);
        const QList<QColor> greys{dark, dark, light, light};
        loads("grey JPEG", "g.jpg", encoded(grey, "jpeg", 95), grid, greys);
        loads("grey BMP", "g.bmp", encoded(grey, "bmp"), grid, greys);
        const QList<QImage> frames = gifFrames();
        loads("GIF one frame", "r.gif", gif(frames.mid(0, 1)), QSize(120, 90),
              QList<QColor>(4, Red));
        loads("GIF three frames", "r3.gif", gif(frames), QSize(120, 90), QList<QColor>(4, Red));

        // Cameras store the sensor's rows and say in a tag how to turn them; the player must
        // see the picture upright, at full size and in the preview's reduced decoding alike.
        // The preview decodes at the smallest size that covers what it asks for.
        const QByteArray sensor = encoded(quadrants({400, 200}), "jpeg", 95);
        const QList<QList<QColor>> turned = {Upright,                     // 1 upright
                                             {Green, Red, Yellow, Blue},  // 2 mirrored
                                             {Yellow, Blue, Green, Red},  // 3 upside down
                                             {Blue, Yellow, Red, Green},  // 4 flipped
                                             {Red, Blue, Green, Yellow},  // 5 transposed
                                             {Blue, Red, Yellow, Green},  // 6 turned right
                                             {Yellow, Green, Blue, Red},  // 7 transversed
                                             {Green, Yellow, Red, Blue}}; // 8 turned left
        for (const QSize fitTo : {QSize(), QSize(60, 60)})
            for (int o = 1; o <= 8; ++o)
                QTest::addRow("JPEG orientation %d, %s", o, fitTo.isValid() ? "preview" : "full")
                    << u"o.jpg"_s << bytesFile(withOrientation(sensor, o)) << fitTo
                    << (o >= 5 ? QSize(200, 400) : QSize(400, 200)) * (fitTo.isValid() ? 0.3 : 1)
                    << turned[o - 1];

        const auto [_, jpeg, progressive, png] = Sources();
        const QByteArray gif120 = gif(frames.mid(0, 1));
        loads("BMP top-down", "td.bmp", topDownBmp(q), s, Upright);
        loads("BMP run-length", "rl.bmp", runLengthBmp(30, 20), s, Upright);
        loads("BMP run-length, no end code", "rl.bmp", runLengthBmp(30, 20, false), s, Upright);
        loads("JPEG progressive", "p.jpg", progressive, s, Upright);
        loads("JPEG of 200 empty scans", "ps.jpg", withEmptyScans(progressive, 200), s, Upright);
        loads("PNG named .bmp", "g.bmp", png, s, Upright);
        loads("PNG 16 bits a channel", "d.png",
              encoded(q.convertToFormat(QImage::Format_RGBA64), "png"), s, Upright);
        loads("PNG without end chunk", "ne.png", png.chopped(12), s, Upright);
        loads("GIF without trailer", "nt.gif", gif120.chopped(1), QSize(120, 90),
              QList<QColor>(4, Red));
        loads("GIF cut after its last pixel", "nt.gif", gif120.chopped(3), QSize(120, 90),
              QList<QColor>(4, Red));
        loads("ICO holding a PNG", "p.ico", icoHolding(png), s, Upright);
        // A metafile's frame of 58380 x 57480 pixels, scaled down to the pixel limit.
        wmftest::Writer large(true, QRect(0, 0, 29190, 28740), 48);
        for (int i = 0; i < 4; ++i)
            large.createBrush(0, Upright[i])
                .selectObject(i)
                .rectangle(i % 2 * 14595, i / 2 * 14370, 14595 + i % 2 * 14595,
                           14370 + i / 2 * 14370);
        loads("metafile scaled down to the limit", "l.wmf", large.finish(), QSize(5837, 5747),
              Upright);

        QTest::newRow("link to a picture")
            << u"link.jpg"_s << Fixture(linkToPicture) << QSize() << QSize(10, 6) << Upright;

        // Formats that decode only in full are made no larger than the picture asked for.
        const QByteArray wideBytes = encoded(quadrants({800, 400}), "png");
        QTest::newRow("PNG fitted after decoding")
            << u"f.png"_s << bytesFile(wideBytes) << QSize(100, 100) << QSize(200, 100) << Upright;
        wmftest::Writer wide(true, QRect(0, 0, 800, 400), 96);
        for (int i = 0; i < 4; ++i)
            wide.createBrush(0, Upright[i])
                .selectObject(i)
                .rectangle(i % 2 * 400, i / 2 * 200, 400 + i % 2 * 400, 200 + i / 2 * 200);
        QTest::newRow("metafile fitted after drawing")
            << u"w.wmf"_s << bytesFile(wide.finish()) << QSize(100, 100) << QSize(200, 100)
            << Upright;

        // WebP and TIFF through Qt's plug-ins: the first frame, the first page.
        loads("WebP", "p.webp", encoded(q, "webp", 100), s, Upright);
        QImage red(30, 20, QImage::Format_RGB32), green = red;
        red.fill(Red);
        green.fill(Green);
        loads("WebP animated: its first frame", "a.webp", animatedWebp({red, green}), s,
              QList<QColor>(4, Red));
        loads("TIFF", "p.tif", tiff({q}), s, Upright);
        loads("TIFF of two pages: its first", "2.tif", tiff({q, green.scaled(10, 10)}), s, Upright);
        loads("BigTIFF", "b.tif", bigTiff(q), s, Upright);
        // SVG drawn at its own size: its width and height at 96 pixels an inch, else its
        // viewBox; no larger than fits the preview or the limits.
        const QByteArray box = "viewBox=\"0 0 120 80\"";
        loads("SVG at its width and height", "p.svg",
              svgQuarters("width=\"300\" height=\"200\" " + box), QSize(300, 200), Upright);
        loads("SVG by its viewBox", "v.svg", svgQuarters(box), QSize(120, 80), Upright);
        loads("SVG in points", "pt.svg", svgQuarters("width=\"90pt\" height=\"60pt\" " + box),
              QSize(120, 80), Upright);
        loads("SVG of 120000 x 80000: drawn within the limits", "l.svg",
              svgQuarters("width=\"120000\" height=\"80000\" " + box), QSize(7094, 4729), Upright);
        // As a photo is: enough pixels to cover a stretched preview of that size.
        QTest::newRow("SVG fitted when drawn")
            << u"f.svg"_s << bytesFile(svgQuarters("width=\"300\" height=\"200\" " + box))
            << QSize(100, 100) << QSize(150, 100) << Upright;
        // Nothing outside the file is read: pictures it names are left out, however named.
        const auto naming = [](const char *row, const References &references) {
            QTest::newRow(row) << u"e.svg"_s << svgNaming(references) << QSize() << QSize(120, 80)
                               << Upright;
        };
        naming("SVG naming other files", [](const QByteArray &red) {
            return QList<QByteArray>{"red.png", red, "file://" + red};
        });
        naming("SVG naming them in odd forms", [](const QByteArray &) {
            return QList<QByteArray>{"#/../red.png", "DATA:/../red.png", "#red.png"};
        });
        naming("SVG holding an SVG that names them", [](const QByteArray &red) {
            return QList<QByteArray>{nestedSvg(red), nestedSvg("red.png")};
        });
        naming("SVG holding an SVG holding one that names them",
               [](const QByteArray &red) { return QList<QByteArray>{nestedSvg(nestedSvg(red))}; });
        // What an SVG holds in itself is drawn, cleaned: an SVG inside one inside a third.
        const QByteArray greenSvg =
            "data:image/svg+xml;base64," +
            QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 12 8\"><rect "
                       "width=\"12\" height=\"8\" fill=\"#00ff00\"/></svg>")
                .toBase64();
        QTest::newRow("SVG holding SVGs of its own")
            << u"h.svg"_s << svgNaming([=](const QByteArray &red) {
                   return QList<QByteArray>{nestedSvg(red), nestedSvg(greenSvg)};
               })
            << QSize() << QSize(120, 80) << QList<QColor>(4, Green);
    }
    void load()
    {
        QFETCH(QString, name);
        QFETCH(Fixture, fixture);
        QFETCH(QSize, fitTo);
        QFETCH(QSize, size);
        QFETCH(QList<QColor>, quarters);

        const QString path = file(name);
        auto remove = qScopeGuard([&] { QFile::remove(path); });
        QVERIFY(fixture(path));
        const picture::Picture loaded = picture::decodeFile(path, {fitTo});
        QVERIFY2(!loaded.isNull(), qPrintable(loaded.refusal.details.join(u' ')));
        QVERIFY(!loaded.refusal.isRefused());
        QCOMPARE(loaded.image.size(), size);
        const QString differs = quartersDiffer(loaded.image, quarters); // JPEG is lossy
        QVERIFY2(differs.isEmpty(), qPrintable(differs));
    }

    // Forms whose every pixel has one right value, which Qt's readers got wrong: 16-bit PNGs
    // with a transparent colour, bit fields of every width (full scale is 255) and alpha masks,
    // OS/2's colour tables of triples, colour tables shorter than the depth has. Each quarter's
    // colour is checked exactly, alpha too.
    void exactPixels_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QRgb>>("quarters"); // top left, top right, bottom left, right

        const QSize size(8, 6);
        const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255),
                   yellow = qRgb(255, 255, 0), white = qRgb(255, 255, 255), black = qRgb(0, 0, 0),
                   clear = qRgba(0, 0, 0, 0);
        const QList<QRgb> upright = {red, green, blue, yellow};
        const auto row = [&](const char *name, const QByteArray &bytes, const QList<QRgb> &want) {
            QTest::newRow(name) << bytes << want;
        };
        row("PNG 16-bit RGB, a transparent colour",
            png16(size, 2, {{0xFFFF, 0, 0}, {0, 0xFFFF, 0}, {0, 0, 0xFFFF}, {0, 1, 0xFFFF}},
                  {0, 0, 0xFFFF}),
            {red, green, clear, blue}); // transparent at 16 bits: 0, 1, 0xFFFF is not
        row("PNG 16-bit RGB, mid colours",
            png16(size, 2,
                  {{0x1234, 0x5678, 0x9ABC}, {0x8080, 0x8080, 0x8080}, {1, 2, 3}, {0, 0, 0}},
                  {1, 2, 3}),
            {qRgb(18, 86, 154), qRgb(128, 128, 128), clear, black});
        row("PNG 16-bit grey, a transparent grey",
            png16(size, 0, {{0xFFFF}, {0x8080}, {0}, {1}}, {0}),
            {white, qRgb(128, 128, 128), clear, black});
        row("PNG 16-bit RGB without one",
            png16(size, 2, {{0xFFFF, 0, 0}, {0, 0xFFFF, 0}, {0, 0, 0xFFFF}, {0xFFFF, 0xFFFF, 0}}),
            upright);

        const auto bmpRow = [&](const char *name, const BmpForm &form, const QList<quint32> &stored,
                                const QList<QRgb> &want) {
            row(name, bmp(size, form, stored), want);
        };
        bmpRow("BMP 24-bit", {}, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}, upright);
        bmpRow("BMP 16-bit 5-5-5", {40, 16}, {0x7FFF, 0x7C00, 0x03E0, 0x4210},
               {white, red, green, qRgb(132, 132, 132)});
        bmpRow("BMP 16-bit 5-6-5", {40, 16, 3, {0xF800, 0x07E0, 0x001F}},
               {0xFFFF, 0x07E0, 0x001F, 0x8410}, {white, green, blue, qRgb(132, 130, 132)});
        bmpRow("BMP 16-bit 5-5-5-1, alpha mask in the header",
               {108, 16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}}, {0xFFFF, 0x7FFF, 0xFC00, 0x83E0},
               {white, clear, red, green});
        bmpRow("BMP 16-bit 4-4-4-4, alpha mask after the header",
               {40, 16, 6, {0x0F00, 0x00F0, 0x000F, 0xF000}}, {0xFF00, 0x80F0, 0xF00F, 0x0FFF},
               {red, qRgba(0, 255, 0, 136), blue, clear});
        bmpRow("BMP 32-bit 10-10-10-2", {56, 32, 3, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
               {0xFFFFFFFF, 0x7FF00000, 0xC0000000 | 512 << 20 | 512 << 10 | 512, 0},
               {white, qRgba(255, 0, 0, 85), qRgb(128, 128, 128), clear});
        bmpRow("BMP 32-bit, no alpha mask", {40, 32}, {0xFFFF0000, 0x0000FF00, 0xFF, 0xFFFF00},
               upright);
        const QList<QRgb> four = {red, green, blue, yellow};
        bmpRow("OS/2 BMP 8-bit, four colours as triples", {12, 8, 0, {}, four}, {0, 1, 2, 3},
               upright);
        bmpRow("OS/2 BMP 4-bit, four colours as triples", {12, 4, 0, {}, four}, {0, 1, 2, 3},
               upright);
        bmpRow("OS/2 BMP 1-bit", {12, 1, 0, {}, {black, white}}, {1, 0, 0, 1},
               {white, black, black, white});
        bmpRow("BMP 8-bit, four colours counted", {40, 8, 0, {}, four, 4}, {0, 1, 2, 3}, upright);
        bmpRow("BMP 8-bit, four colours uncounted", {40, 8, 0, {}, four}, {0, 1, 2, 3}, upright);
        bmpRow("BMP 8-bit, an index past the table", {40, 8, 0, {}, four, 4}, {0, 1, 2, 200},
               {red, green, blue, black});
        bmpRow("BMP 2-bit", {40, 2, 0, {}, four}, {0, 1, 2, 3}, upright);
    }
    void exactPixels()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QRgb>, quarters);
        const picture::Picture loaded = picture::decode(bytes);
        QVERIFY2(!loaded.isNull(), qPrintable(loaded.refusal.details.join(u' ')));
        QCOMPARE(loaded.image.size(), QSize(8, 6));
        const QImage image = loaded.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int i = 0; i < 4; ++i) {
            const QPoint at(i % 2 * 4 + 1, i / 2 * 3 + 1);
            QCOMPARE(QString::number(image.pixel(at), 16),
                     QString::number(qPremultiply(quarters[i]), 16));
        }
    }

    // Hostile files of every format: cut, empty, noise, lying headers, forms we do not read,
    // each refused with what is truly wrong before anything is allocated for it, at full size
    // and for the preview alike. What the header alone tells is told by checkHead() too, so
    // that the decoding process need not read the rest of the file for it.
    void refuse_data()
    {
        QTest::addColumn<QString>("name"); // below the test's folder, or absolute
        QTest::addColumn<Fixture>("fixture");
        QTest::addColumn<picture::Refusal>("refusal");
        QTest::addColumn<bool>("byHeader");

        const auto [q, jpeg, progressive, png] = Sources();
        const QByteArray gif120 = gif(gifFrames().mid(0, 1));
        auto refused = [](const char *row, const char *name, const QByteArray &bytes, Reason reason,
                          QStringList details = {}, bool byHeader = false) {
            QTest::newRow(row) << QString::fromLatin1(name) << bytesFile(bytes)
                               << picture::refused(reason, std::move(details)) << byHeader;
        };
        auto damaged = [&](const char *row, const QByteArray &bytes, const char *kind) {
            refused(row, "d.bin", bytes, Reason::Damaged, {QString::fromLatin1(kind)});
        };
        auto cut = [&](const char *row, const QByteArray &bytes, const char *kind) {
            refused(row, "c.bin", bytes, Reason::Incomplete, {QString::fromLatin1(kind)});
        };
        refused("text named .jpg", "h.jpg", "not a picture\n", Reason::NotAPicture, {}, true);
        for (const char *empty : {"z.bmp", "z.jpg", "z.png", "z.gif", "z.ico"})
            QTest::addRow("empty %s", empty) << QString::fromLatin1(empty) << bytesFile("")
                                             << picture::refused(Reason::NotAPicture) << true;
        damaged("BM then garbage", QByteArray("BM\x01\x02\x03 garbage that is no header", 30),
                "BMP");
        damaged("BMP height INT_MIN", withLe32(bmpHeaderOnly(100, 1), 22, INT_MIN), "BMP");
        cut("BMP cut", encoded(q, "bmp").chopped(200), "BMP");
        cut("BMP run-length cut", runLengthBmp(30, 20).chopped(12), "BMP");
        cut("BMP of 4 KiB claiming 8192 x 4096", bmpHeaderOnly(8192, 4096) + QByteArray(4042, '\0'),
            "BMP");
        cut("BMP pixels past the end", withLe32(encoded(q, "bmp"), 10, 1 << 20), "BMP");
        cut("BMP at the side, no pixels", bmpHeaderOnly(picture::MaxSide, 1), "BMP");
        damaged("JPEG marker then garbage", QByteArray("\xFF\xD8\xFF\xE0 no more", 12), "JPEG");
        cut("JPEG cut", jpeg.chopped(20), "JPEG");
        cut("JPEG without its end marker", jpeg.chopped(2), "JPEG");
        cut("JPEG progressive cut in half", progressive.left(progressive.size() / 2), "JPEG");
        const auto unsupported = [&](const char *row, const QByteArray &bytes, const char *form) {
            refused(row, "u.jpg", bytes, Reason::Unsupported,
                    {u"JPEG"_s, QString::fromLatin1(form)}, true);
        };
        unsupported("JPEG of 12 bits a sample", jpegFrame(jpeg, '\xC1', 12), "12-bit");
        unsupported("JPEG lossless", jpegFrame(jpeg, '\xC3'), "lossless");
        unsupported("JPEG hierarchical", jpegFrame(jpeg, '\xC5'), "hierarchical");
        const QByteArray jpegLs = jpegFrame(jpeg, '\xF7');
        unsupported("JPEG-LS", jpegLs, "JPEG-LS");
        unsupported("JPEG-LS cut in half", jpegLs.left(jpegLs.size() / 2), "JPEG-LS");
        unsupported("JPEG-LS with no end marker", jpegLs.chopped(2), "JPEG-LS");
        QByteArray dnl = jpegClaiming(jpeg, 30, 0);
        dnl.insert(dnl.size() - 2, QByteArray("\xFF\xDC\x00\x04\x00\x14", 6)); // 20 lines
        unsupported("JPEG with its height in a DNL marker", dnl, "DNL");
        unsupported("JPEG with a DNL marker, cut", dnl.left(dnl.size() / 2), "DNL");
        const auto bmpForm = [&](const char *row, const BmpForm &form, const char *name) {
            refused(row, "u.bmp", bmp({8, 6}, form, {0, 0, 0, 0}), Reason::Unsupported,
                    {u"BMP"_s, QString::fromLatin1(name)}, true);
        };
        bmpForm("BMP holding a JPEG", {40, 24, 4}, "JPEG inside");
        bmpForm("BMP holding a PNG", {40, 24, 5}, "PNG inside");
        bmpForm("OS/2 BMP of 24-bit runs", {64, 24, 4}, "RLE24");
        bmpForm("OS/2 BMP of Huffman codes", {64, 1, 3, {}, {0, 0xFFFFFF}}, "Huffman");
        bmpForm("BMP of CMYK", {40, 32, 11}, "compression 11");
        cut("PNG 16-bit with a transparent colour, cut",
            png16({300, 200}, 2, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}}, {1, 2, 3})
                .chopped(20),
            "PNG");
        cut("PNG cut", png.chopped(20), "PNG");
        damaged("PNG noise after signature", png.left(8) + noise(200, 8), "PNG");
        damaged("GIF signature only", "GIF89a", "GIF");
        cut("GIF cut", gif120.left(gif120.size() / 2), "GIF");
        damaged("GIF noise after signature", QByteArray("GIF89a") + noise(200, 8), "GIF");
        QByteArray emptyFrame = gif120;
        const qsizetype frame = emptyFrame.indexOf(char(0x2C));
        qToLittleEndian<quint32>(0, emptyFrame.data() + frame + 5); // width and height 0
        refused("GIF frame of 0 x 0", "e.gif", emptyFrame, Reason::NoPixels,
                {u"GIF"_s, u"0"_s, u"0"_s}, true);
        damaged("ICO of no icons", QByteArray("\0\0\1\0\0\0", 6), "ICO");
        cut("ICO cut", encoded(q, "ico").chopped(100), "ICO");
        cut("WebP cut", encoded(quadrants({300, 200}), "webp", 100).chopped(20), "WebP");
        cut("WebP cut right after its canvas", animatedWebp({q}).left(30), "WebP");
        cut("TIFF cut", tiff({quadrants({300, 200})}).chopped(5000), "TIFF");
        const QByteArray svg = svgQuarters("viewBox=\"0 0 120 80\"");
        cut("SVG cut", svg.chopped(30), "SVG");
        damaged("SVG that is no XML", "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect/></g>",
                "SVG");
        // Ten entities each ten of the one before: 10^10 letters, were they expanded.
        QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY e0 \"lol\">\n";
        for (int i = 1; i <= 10; ++i)
            laughs += "<!ENTITY e" + QByteArray::number(i) + " \"" +
                      ("&e" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
        laughs += "]>\n<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\">"
                  "<text y=\"5\">&e10;</text></svg>\n";
        damaged("SVG of entities expanding to 10^10 letters", laughs, "SVG");
        damaged("SVG nested 100000 deep",
                "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\">" +
                    QByteArray("<g>").repeated(100000) + "<rect width=\"5\" height=\"5\"/>" +
                    QByteArray("</g>").repeated(100000) + "</svg>",
                "SVG");

        const int side = picture::MaxSide, rows = int(picture::MaxPixels / side);
        const QByteArray jpeg16 = encoded(quadrants({16, 16}), "jpeg");
        const QByteArray gif16 =
            gif({quadrants({16, 16}).convertToFormat(QImage::Format_Indexed8)});
        auto tooLarge = [&](const char *row, const QByteArray &bytes, int w, int h) {
            refused(row, "t.bin", bytes, Reason::TooLarge, {QString::number(w), QString::number(h)},
                    true);
        };
        tooLarge("BMP 20000 x 20000", bmpHeaderOnly(20000, 20000), 20000, 20000);
        tooLarge("BMP 20000 x -20000 (top down)", bmpHeaderOnly(20000, -20000), 20000, 20000);
        tooLarge("BMP one past the side", bmpHeaderOnly(side + 1, 1), side + 1, 1);
        tooLarge("BMP tall past the side", bmpHeaderOnly(1, side + 1), 1, side + 1);
        tooLarge("BMP a row past the pixels", bmpHeaderOnly(side, rows + 1), side, rows + 1);
        tooLarge("JPEG 65535 x 65535", jpegClaiming(jpeg16, 65535, 65535), 65535, 65535);
        tooLarge("GIF 65535 x 65535", gifClaiming(gif16, 65535, 65535), 65535, 65535);
        tooLarge("PNG 65535 x 1000", pngClaiming(png, 65535, 1000), 65535, 1000);
        tooLarge("ICO of 16 x 16 holding 65535 x 1000", icoHolding(pngClaiming(png, 65535, 1000)),
                 65535, 1000);
        QByteArray canvas = animatedWebp({quadrants({30, 20})});
        qToLittleEndian<quint16>(19999, canvas.data() + 24); // sides less one, 24 bits each
        qToLittleEndian<quint16>(19999, canvas.data() + 27);
        tooLarge("WebP canvas of 20000 x 20000", canvas, 20000, 20000);
        tooLarge("TIFF of 20000 x 20000", tiffClaiming(tiff({q}), 20000, 20000), 20000, 20000);
        QByteArray bigClaiming = bigTiff(q);
        qToLittleEndian<quint32>(20000, bigClaiming.data() + 24 + 12);      // ImageWidth
        qToLittleEndian<quint32>(20000, bigClaiming.data() + 24 + 20 + 12); // ImageLength
        tooLarge("BigTIFF of 20000 x 20000", bigClaiming, 20000, 20000);
        cut("BigTIFF cut", bigTiff(quadrants({300, 200})).chopped(5000), "TIFF");

        // Names that carry a picture's extension but are no picture file (none may block) and
        // a file past the size limit.
        auto unusual = [](const char *row, const QString &path, const Fixture &make,
                          Reason reason) {
            QTest::newRow(row) << path << make << picture::refused(reason) << true;
        };
        unusual("FIFO", u"pipe.gif"_s, fifo, Reason::NotRegularFile);
        unusual("folder", u"folder.jpg"_s, folder, Reason::Folder);
        unusual("null device", u"/dev/null"_s, nothing, Reason::NotRegularFile);
        unusual("endless device", u"/dev/zero"_s, nothing, Reason::NotRegularFile);
        unusual("missing", u"missing.bmp"_s, nothing, Reason::NotFound);
        unusual("dangling link", u"dangling.bmp"_s, dangling, Reason::NotFound);
        unusual("link to itself", u"loop.bmp"_s, selfLink, Reason::LinkLoop);
        if (::geteuid() != 0) // root reads every file
            unusual("locked", u"locked.bmp"_s, locked, Reason::NoPermission);
        unusual("past the file limit", u"huge.jpg"_s, pastFileLimit, Reason::FileTooLarge);
    }
    void refuse()
    {
        QFETCH(QString, name);
        QFETCH(Fixture, fixture);
        QFETCH(picture::Refusal, refusal);
        QFETCH(bool, byHeader);

        const QString path = QDir(m_dir.path()).absoluteFilePath(name);
        auto remove = qScopeGuard([&] {
            if (path.startsWith(m_dir.path()) && !QFile::remove(path))
                QDir().rmdir(path);
        });
        QVERIFY(fixture(path));
        for (const QSize fit : {QSize(), QSize(345, 497)}) {
            const picture::Picture loaded = picture::decodeFile(path, {fit});
            QVERIFY(loaded.isNull());
            QCOMPARE(loaded.refusal.reason, refusal.reason);
            QCOMPARE(loaded.refusal.details, refusal.details);
        }
        // What is found before the decoding process reads past the header: the file's own
        // refusals, then its header's.
        const picture::PictureFile file(path);
        picture::Refusal early = file.refusal();
        if (!early.isRefused()) {
            QByteArray head;
            QVERIFY(!picture::readAll(file.descriptor(), &head, qint64(64) * 1024).isRefused());
            early = picture::checkHead(head);
        }
        QCOMPARE(early.reason, byHeader ? refusal.reason : Reason::None);
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
