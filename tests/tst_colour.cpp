// Colours as the file meant them: pictures tagged Display P3 and other colour spaces, decoded by
// the decoding process behind its walls, against the same pixels converted to sRGB by Qt's own
// colour conversion (QColorSpace), or by the formulas where Qt has none. Untagged and sRGB
// pictures, and pictures with damaged or hostile profiles, come back as they were stored.
//
// The expected pictures start from the pixels Qt's reader decodes from the very file (Qt's
// readers tag pictures, they never convert them), so a lossy file is held to the tolerance of
// a lossless one: 2 levels a channel, the difference between lcms's 8-bit transforms and Qt's
// tables. A picture decoded smaller (a JPEG at a quarter) is compared in the middle of its flat
// patches, within 4.
#include "iccwriter.h"
#include "testpictures.h"

#include "loading/decodejob.h"
#include "picture/colour.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace testpictures;
using picture::Reason;
using picture::Request;

namespace {

// The pixels of file as Qt's reader decodes them, untouched.
QImage stored(const QByteArray &file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image = reader.read();
    if (image.isNull())
        qFatal("Qt's reader cannot read a test file: %s", qPrintable(reader.errorString()));
    return image;
}

// Those pixels taken as in space, converted to sRGB by Qt. Premultiplied pixels are made straight
// in 8 bits first, as the conversion takes them: where a file stores them premultiplied, the
// rounding is the file's.
QImage qtSrgb(QImage pixels, const QColorSpace &space)
{
    if (pixels.format() == QImage::Format_Indexed8 ||
        pixels.format() == QImage::Format_Grayscale8 ||
        pixels.format() == QImage::Format_ARGB32_Premultiplied)
        pixels.convertTo(pixels.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    pixels.setColorSpace(space);
    return pixels.convertedToColorSpace(QColorSpace::SRgb);
}

double srgbEncoded(double light)
{
    return light <= 0.0031308 ? light * 12.92 : 1.055 * std::pow(light, 1 / 2.4) - 0.055;
}

// Every grey v of pixels as sRGB shows the light (v / 255)^gamma, the alpha kept.
QImage greyThrough(QImage pixels, double gamma)
{
    const auto grey = [gamma](int v) {
        return int(std::lround(255 * srgbEncoded(std::pow(v / 255.0, gamma))));
    };
    pixels.convertTo(pixels.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(pixels.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            line[x] = qRgba(grey(qRed(line[x])), grey(qGreen(line[x])), grey(qBlue(line[x])),
                            qAlpha(line[x]));
    }
    return pixels;
}

// BT.709's curve from samples to light, samples scaled to 0..1.
double bt709Light(double v)
{
    return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1 / 0.45);
}

// The pixels through BT.709's curve, as 16-bit light.
QImage bt709Linear(const QImage &pixels)
{
    QImage light = pixels.convertToFormat(QImage::Format_RGBA64);
    for (int y = 0; y < light.height(); ++y) {
        auto *line = reinterpret_cast<QRgba64 *>(light.scanLine(y));
        for (int x = 0; x < light.width(); ++x) {
            const auto channel = [](quint16 v) {
                return quint16(std::lround(bt709Light(v / 65535.0) * 65535));
            };
            line[x] = QRgba64::fromRgba64(channel(line[x].red()), channel(line[x].green()),
                                          channel(line[x].blue()), line[x].alpha());
        }
    }
    return light;
}

QString colourAt(const QImage &image, QPoint at)
{
    return QString::number(image.pixel(at), 16).rightJustified(8, u'0');
}

// Empty when seen shows want: the same size, the same alphas, colours (premultiplied) within
// tolerance; else where they first differ.
QString differs(const QImage &seen, const QImage &want, int tolerance)
{
    if (seen.size() != want.size())
        return u"size %1x%2, not %3x%4"_s.arg(seen.width())
            .arg(seen.height())
            .arg(want.width())
            .arg(want.height());
    const QImage a = seen.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = want.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (qAlpha(p[x]) != qAlpha(q[x]) || std::abs(qRed(p[x]) - qRed(q[x])) > tolerance ||
                std::abs(qGreen(p[x]) - qGreen(q[x])) > tolerance ||
                std::abs(qBlue(p[x]) - qBlue(q[x])) > tolerance)
                return u"at %1,%2: %3, not %4"_s.arg(x).arg(y).arg(colourAt(a, {x, y}),
                                                                   colourAt(b, {x, y}));
        }
    }
    return {};
}

// The same at the middle of each of colourful()'s patches, seen smaller than want.
QString differsAtPatches(const QImage &seen, const QImage &want, int tolerance)
{
    for (const QPoint &middle : patchMiddles(want.size())) {
        const QPoint there(middle.x() * seen.width() / want.width(),
                           middle.y() * seen.height() / want.height());
        const QRgb p = seen.pixel(there), q = want.pixel(middle);
        if (std::abs(qRed(p) - qRed(q)) > tolerance ||
            std::abs(qGreen(p) - qGreen(q)) > tolerance ||
            std::abs(qBlue(p) - qBlue(q)) > tolerance)
            return u"patch at %1,%2: %3, not %4"_s.arg(middle.x())
                .arg(middle.y())
                .arg(colourAt(seen, there), colourAt(want, middle));
    }
    return {};
}

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

const QColorSpace P3(QColorSpace::DisplayP3);

QColorSpace custom(const std::array<double, 8> &xy, QColorSpace::TransferFunction curve,
                   float gamma = 0)
{
    return QColorSpace({xy[0], xy[1]}, {xy[2], xy[3]}, {xy[4], xy[5]}, {xy[6], xy[7]}, curve,
                       gamma);
}

constexpr std::array<double, 8> Bt2020 = {0.3127, 0.3290, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046};

// Made and damaged profiles, by what a test calls them.
QByteArray p3Profile() { return P3.iccProfile(); }

// Damaged the same length as Display P3's profile, so that they stand where a writer put it.
QList<std::pair<const char *, QByteArray>> damagedInPlace()
{
    const QByteArray p3 = p3Profile();
    return {{"a tag count of 2^31", icctest::with32(p3, 128, 0x80000000)},
            {"a first tag past the end", icctest::with32(p3, 132 + 4, 0x7FFFFFF0)},
            {"a size of 4 GiB", icctest::with32(p3, 0, 0xFFFFFFFF)},
            {"CMYK on RGB pixels", QByteArray(p3).replace(16, 4, "CMYK")},
            // found by fuzz_loader: a value lcms's enumeration of colour spaces does not hold
            {"a colour space no one knows", QByteArray(p3).replace(16, 4, "\xB2\xA6\xDF\xDF")},
            {"a device link", QByteArray(p3).replace(12, 4, "link")},
            {"noise after the header", p3.left(128) + noise(p3.size() - 128, 5)}};
}

// Hostile profiles of any length, for the places that take any.
QList<std::pair<const char *, QByteArray>> hostile()
{
    using namespace icctest;
    constexpr double P3Colorants[3][3] = {
        {0.5151, 0.2412, -0.0011}, {0.2919, 0.6922, 0.0419}, {0.1572, 0.0666, 0.7841}};
    constexpr double Zero[3][3] = {};
    const QByteArray tables = rgbProfile(P3Colorants, srgbCurve());
    QByteArray steps = profile("mntr", "RGB ",
                               {{"wtpt", xyz(0.9642, 1.0, 0.8249)},
                                {"rXYZ", xyz(0.5151, 0.2412, -0.0011)},
                                {"gXYZ", xyz(0.2919, 0.6922, 0.0419)},
                                {"bXYZ", xyz(0.1572, 0.0666, 0.7841)},
                                {"rTRC", srgbCurve()},
                                {"gTRC", srgbCurve()},
                                {"bTRC", srgbCurve()},
                                {"D2B0", manySteps(100000)}});
    return {
        {"cut in half", p3Profile().left(p3Profile().size() / 2)},
        {"a pipeline of 100000 steps", steps},
        {"a table claiming 255 points a side",
         profile("mntr", "RGB ", {{"wtpt", xyz(0.9642, 1.0, 0.8249)}, {"A2B0", hugeGrid(255)}})},
        {"curves of 2^31 entries", rgbProfile(P3Colorants, tableCurve({0, 100, 200}, 0x7FFFFFFF))},
        {"colorants of zero", rgbProfile(Zero, srgbCurve())},
        {"a grey profile on colour pixels", greyProfile(gammaCurve(1.8))},
        {"the signature alone", QByteArray(36, '\0') + "acsp" + QByteArray(92, '\0')}};
}

QImage translucent()
{
    QImage image = colourful().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = (line[x] & 0x00FFFFFF) | quint32(255 - x * 200 / image.width()) << 24;
    }
    return image;
}

QImage tagged(QImage image, const QColorSpace &space)
{
    image.setColorSpace(space);
    return image;
}

// A file of kind holding image, with the profile of the image's colour space as that kind's
// writer embeds it (ours for BMP, whose writer in Qt embeds none). Another kind is its writer
// here and its name in decodes_data's list of kinds.
QByteArray written(const QString &kind, const QImage &image)
{
    if (kind == u"bmp")
        return image.colorSpace().isValid() ? bmpV5(image, image.colorSpace().iccProfile())
                                            : encoded(image, "bmp");
    return encoded(image, kind.toLatin1().constData(), kind == u"jpeg" ? 95 : 100);
}

// A file of kind holding image untagged and the profile given, for the kinds whose profile we
// place ourselves.
QByteArray withProfile(const QString &kind, const QImage &image, const QByteArray &profile)
{
    if (kind == u"jpeg")
        return withSegments(encoded(image, "jpeg", 95),
                            iccSegments(profile, int(profile.size() / 60000 + 1)));
    if (kind == u"png")
        return withChunks(encoded(image, "png"), {iccpChunk(profile)});
    if (kind == u"bmp")
        return bmpV5(image, profile);
    qFatal("no way to place a profile of any length in a %s file", qPrintable(kind));
}

} // namespace

class TestColour : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fileWith(const QByteArray &bytes) { return pictureFileIn(m_dir, bytes); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Qt's readers say what they find wrong in the damaged profiles, when the tests read
        // the stored pixels.
        QLoggingCategory::setFilterRules(u"qt.gui.icc=false\nqt.gui.imageio=false"_s);
    }

    // Each kind's writer, each kind's reader: one row a kind and a file.
    void decodes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Request>("request");
        QTest::addColumn<QImage>("expected");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<bool>("converts"); // the expected pixels are not those stored

        const QImage picture = colourful();
        const auto row = [](const QString &name, const QString &kind, const QByteArray &file,
                            const QImage &expected, int tolerance, bool converts,
                            const Request &request = {}) {
            QTest::newRow(qPrintable(name))
                << kind << file << request << expected << tolerance << converts;
        };
        const auto converted = [&row](const QString &name, const QString &kind,
                                      const QByteArray &file, const QColorSpace &space,
                                      const Request &request = {}, int tolerance = 2) {
            row(name, kind, file, qtSrgb(stored(file), space), tolerance, true, request);
        };
        const auto unchanged = [&row](const QString &name, const QString &kind,
                                      const QByteArray &file) {
            row(name, kind, file, stored(file), 0, false);
        };

        for (const QString &kind : {u"jpeg"_s, u"png"_s, u"webp"_s, u"tiff"_s, u"bmp"_s}) {
            const QString k = kind.toUpper() + u": "_s;
            const QByteArray p3 = written(kind, tagged(picture, P3));
            converted(k + u"Display P3"_s, kind, p3, P3);
            unchanged(k + u"sRGB profile"_s, kind,
                      written(kind, tagged(picture, QColorSpace::SRgb)));
            unchanged(k + u"untagged"_s, kind, written(kind, picture));
            for (const auto &[name, profile] : damagedInPlace())
                unchanged(k + u"profile of "_s + QString::fromLatin1(name), kind,
                          kind == u"png" ? withProfile(kind, picture, profile)
                                         : replaced(p3, p3Profile(), profile));
            // Lossless, against the picture written: Qt's TIFF reader premultiplies the
            // straight alpha the file holds, which our reader keeps.
            if (kind == u"png" || kind == u"webp" || kind == u"tiff")
                row(k + u"Display P3 with alpha"_s, kind, written(kind, tagged(translucent(), P3)),
                    qtSrgb(translucent(), P3), 2, true);
            if (kind == u"jpeg" || kind == u"png" || kind == u"bmp")
                for (const auto &[name, profile] : hostile())
                    unchanged(k + u"profile "_s + QString::fromLatin1(name), kind,
                              withProfile(kind, picture, profile));
        }
        for (const QString &kind : {u"jpeg"_s, u"png"_s})
            converted(kind.toUpper() + u": Adobe RGB"_s, kind,
                      written(kind, tagged(picture, QColorSpace::AdobeRgb)), QColorSpace::AdobeRgb);
        for (const QString &kind : {u"png"_s, u"tiff"_s})
            converted(kind.toUpper() + u": ProPhoto RGB, of another white"_s, kind,
                      written(kind, tagged(picture, QColorSpace::ProPhotoRgb)),
                      QColorSpace::ProPhotoRgb);

        // Decoded smaller, then converted.
        const QByteArray jpegP3 = written(u"jpeg"_s, tagged(picture, P3));
        converted(u"JPEG: Display P3 decoded at a quarter"_s, u"jpeg"_s, jpegP3, P3,
                  Request{{96, 72}}, 4);
        converted(u"PNG: Display P3 at a longest side of 192"_s, u"png"_s,
                  written(u"png"_s, tagged(picture, P3)), P3, Request{{}, 192}, 4);

        // The forms of pixels a profile applies to.
        converted(
            u"PNG: 16 bits a sample, Display P3"_s, u"png"_s,
            written(u"png"_s, tagged(translucent().convertToFormat(QImage::Format_RGBA64), P3)),
            P3);
        converted(u"PNG: a palette, Display P3"_s, u"png"_s,
                  written(u"png"_s, tagged(picture.convertToFormat(QImage::Format_Indexed8), P3)),
                  P3);
        const QByteArray grey18 = icctest::greyProfile(icctest::gammaCurve(1.8));
        const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
        for (const QString &kind : {u"jpeg"_s, u"png"_s}) {
            const QByteArray file = withProfile(kind, grey, grey18);
            row(kind.toUpper() + u": grey, a grey profile of gamma 1.8"_s, kind, file,
                greyThrough(stored(file), 1.8), 2, true);
        }
        const QByteArray greyAlpha = withChunks(greyAlphaPng(translucent()), {iccpChunk(grey18)});
        row(u"PNG: grey and alpha, a grey profile of gamma 1.8"_s, u"png"_s, greyAlpha,
            greyThrough(stored(greyAlpha), 1.8), 2, true);
        unchanged(u"JPEG: grey, a grey profile of sRGB's curve"_s, u"jpeg"_s,
                  withProfile(u"jpeg"_s, grey, icctest::greyProfile(icctest::srgbCurve())));
        unchanged(u"JPEG: grey, an RGB profile"_s, u"jpeg"_s,
                  withProfile(u"jpeg"_s, grey, p3Profile()));

        // A JPEG's profile in pieces.
        const QByteArray jpeg = encoded(picture, "jpeg", 95);
        const QByteArray p3 = p3Profile();
        converted(u"JPEG: profile in three pieces"_s, u"jpeg"_s,
                  withSegments(jpeg, iccSegments(p3, 3)), P3);
        converted(u"JPEG: profile in three pieces, the last first"_s, u"jpeg"_s,
                  withSegments(jpeg, iccSegments(p3, 3, {3, 1, 2})), P3);
        unchanged(u"JPEG: profile in three pieces, one missing"_s, u"jpeg"_s,
                  withSegments(jpeg, iccSegments(p3, 3, {1, 3})));
        unchanged(u"JPEG: profile in three pieces, one twice"_s, u"jpeg"_s,
                  withSegments(jpeg, iccSegments(p3, 3, {1, 2, 2, 3})));
        unchanged(u"JPEG: a piece numbered past the count"_s, u"jpeg"_s,
                  withSegments(jpeg, iccSegments(p3, 3) << iccSegment("x", 4, 3)));
        unchanged(u"JPEG: a profile of no bytes"_s, u"jpeg"_s,
                  withSegments(jpeg, {iccSegment({}, 1, 1)}));

        // What a PNG says besides a profile.
        const QByteArray png = encoded(picture, "png");
        const auto gama = [](quint32 v) { return pngChunk("gAMA", be32(v)); };
        const auto chrm = [](const std::array<double, 8> &xy) {
            QByteArray data;
            for (double v : xy)
                data += be32(quint32(std::lround(v * 100000)));
            return pngChunk("cHRM", data);
        };
        const auto cicp = [](int primaries, int transfer) {
            return pngChunk("cICP", QByteArray(1, char(primaries)) + char(transfer) + '\0' + '\1');
        };
        const std::array<double, 8> srgbXy = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
        const std::array<double, 8> p3Xy = {0.3127, 0.3290, 0.68, 0.32, 0.265, 0.69, 0.15, 0.06};
        // Qt's reader tags these as Qt takes them; so does ours.
        for (const auto &[name, file] :
             {std::pair{"PNG: gAMA of 1.0", withChunks(png, {gama(100000)})},
              std::pair{"PNG: gAMA of 1/1.8", withChunks(png, {gama(55556)})},
              std::pair{"PNG: cHRM of Display P3, gAMA of 1/2.2",
                        withChunks(png, {gama(45455), chrm(p3Xy)})}})
            row(QString::fromLatin1(name), u"png"_s, file,
                stored(file).convertedToColorSpace(QColorSpace::SRgb), 2, true);
        unchanged(u"PNG: gAMA of 1/2.2"_s, u"png"_s, withChunks(png, {gama(45455)}));
        unchanged(u"PNG: gAMA of 1/2.2, cHRM of sRGB"_s, u"png"_s,
                  withChunks(png, {gama(45455), chrm(srgbXy)}));
        unchanged(u"PNG: an sRGB chunk beside a gAMA of 1.0"_s, u"png"_s,
                  withChunks(png, {pngChunk("sRGB", QByteArray(1, '\0')), gama(100000)}));
        converted(u"PNG: cICP of Display P3"_s, u"png"_s, withChunks(png, {cicp(12, 13)}), P3);
        converted(u"PNG: cICP of Display P3 over an iCCP of Adobe RGB"_s, u"png"_s,
                  withChunks(png, {cicp(12, 13),
                                   iccpChunk(QColorSpace(QColorSpace::AdobeRgb).iccProfile())}),
                  P3);
        unchanged(u"PNG: cICP of BT.2020 and PQ"_s, u"png"_s, withChunks(png, {cicp(9, 16)}));
        unchanged(u"PNG: an iCCP inflating to 64 MiB"_s, u"png"_s,
                  withChunks(
                      png, {pngChunk("iCCP", QByteArray("x\0\0", 3) +
                                                 qCompress(QByteArray(64 << 20, 'a'), 9).mid(4))}));
        // A BMP's colour spaces.
        unchanged(u"BMP: profile past the end"_s, u"bmp"_s,
                  bmpV5(picture, p3, 0x4D424544, 1 << 30));
        unchanged(u"BMP: the sRGB colour space"_s, u"bmp"_s, bmpV5(picture, {}, 0x73524742));
    }
    void decodes()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, file);
        QFETCH(Request, request);
        QFETCH(QImage, expected);
        QFETCH(int, tolerance);
        QFETCH(bool, converts);
        if (converts) // else the row would prove nothing
            QVERIFY(!differs(stored(file), expected, tolerance).isEmpty());
        const picture::Picture decoded = picture::DecodeJob::run(fileWith(file), request);
        QCOMPARE(decoded.refusal.reason, Reason::None);
        const QString difference = decoded.image.size() == expected.size()
                                       ? differs(decoded.image, expected, tolerance)
                                       : differsAtPatches(decoded.image, expected, tolerance);
        QVERIFY2(difference.isEmpty(), qPrintable(kind + u": "_s + difference));
    }

    // The code points HEIF, AVIF and JPEG XL carry, in this process: against Qt's conversion
    // from the colour space they name, or the formulas of the curves Qt does not have; a
    // profile beside them comes first when it can be read.
    void codePoints_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<int>("primaries");
        QTest::addColumn<int>("transfer");
        QTest::addColumn<QImage>("source");
        QTest::addColumn<QImage>("expected");

        const QImage picture = colourful();
        const auto converted = [&picture](const char *name, int primaries, int transfer,
                                          const QColorSpace &space,
                                          const QByteArray &profile = {}) {
            QTest::newRow(name) << profile << primaries << transfer << picture
                                << qtSrgb(picture, space);
        };
        const auto unchanged = [&picture](const char *name, int primaries, int transfer) {
            QTest::newRow(name) << QByteArray() << primaries << transfer << picture << picture;
        };
        converted("Display P3 (12, 13)", 12, 13, P3);
        const QImage large = colourful({2048, 2051}); // converted in bands of uneven rows
        QTest::newRow("Display P3, 4 megapixels")
            << QByteArray() << 12 << 13 << large << qtSrgb(large, P3);
        QTest::newRow("Display P3 with alpha")
            << QByteArray() << 12 << 13 << translucent() << qtSrgb(translucent(), P3);
        converted("BT.2020, linear (9, 8)", 9, 8,
                  custom(Bt2020, QColorSpace::TransferFunction::Linear));
        converted("sRGB's primaries, linear (1, 8)", 1, 8,
                  QColorSpace(QColorSpace::Primaries::SRgb, QColorSpace::TransferFunction::Linear));
        converted("BT.601 of 625 lines, gamma 2.2 (5, 4)", 5, 4,
                  custom({0.3127, 0.3290, 0.64, 0.33, 0.29, 0.60, 0.15, 0.06},
                         QColorSpace::TransferFunction::Gamma, 2.2f));
        converted("BT.601 of 525 lines, gamma 2.8 (6, 5)", 6, 5,
                  custom({0.3127, 0.3290, 0.63, 0.34, 0.31, 0.595, 0.155, 0.07},
                         QColorSpace::TransferFunction::Gamma, 2.8f));
        converted("DCI-P3 and its white, sRGB's curve (11, 13)", 11, 13,
                  custom({0.314, 0.351, 0.68, 0.32, 0.265, 0.69, 0.15, 0.06},
                         QColorSpace::TransferFunction::SRgb));
        for (const auto &[name, primaries, xy] :
             {std::tuple{"BT.709 (1, 1)", 1,
                         std::array<double, 8>{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06}},
              std::tuple{"BT.2020, BT.709's curve (9, 1)", 9, Bt2020}}) {
            QImage light = bt709Linear(picture);
            light.setColorSpace(custom(xy, QColorSpace::TransferFunction::Linear));
            QTest::newRow(name) << QByteArray() << primaries << 1 << picture
                                << light.convertedToColorSpace(QColorSpace::SRgb);
        }
        const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
        QTest::newRow("a grey picture, sRGB's primaries, linear (1, 8)")
            << QByteArray() << 1 << 8 << grey << greyThrough(grey, 1.0);
        unchanged("sRGB (1, 13)", 1, 13);
        unchanged("unspecified (2, 2)", 2, 2);
        unchanged("PQ (9, 16)", 9, 16);
        unchanged("HLG (9, 18)", 9, 18);
        unchanged("primaries unknown (99, 13)", 99, 13);
        unchanged("curve unknown (12, 99)", 12, 99);
        converted("a Display P3 profile over BT.709 (1, 1)", 1, 1, P3, p3Profile());
        converted("a damaged profile, then Display P3 (12, 13)", 12, 13, P3, p3Profile().left(200));
        converted("a CMYK profile, then Display P3 (12, 13)", 12, 13, P3,
                  p3Profile().replace(16, 4, "CMYK"));
        converted("a grey profile on colours, then Display P3 (12, 13)", 12, 13, P3,
                  icctest::greyProfile(icctest::gammaCurve(2.2)));
    }
    void codePoints()
    {
        QFETCH(QByteArray, profile);
        QFETCH(int, primaries);
        QFETCH(int, transfer);
        QFETCH(QImage, source);
        QFETCH(QImage, expected);
        const QImage seen = picture::toSrgb(source, {profile, primaries, transfer});
        const QString difference = differs(seen, expected, source == expected ? 0 : 2);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // The profiles that cost nothing: sRGB's, however written.
    void srgbProfiles_data()
    {
        using namespace icctest;
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<bool>("srgb");
        QList<quint16> table;
        for (int i = 0; i < 1024; ++i) {
            const double v = i / 1023.0;
            table.append(quint16(std::lround(
                65535 * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4)))));
        }
        const QByteArray srgb = rgbProfile(SrgbColorants, srgbCurve());
        QTest::newRow("Qt's sRGB") << QColorSpace(QColorSpace::SRgb).iccProfile() << true;
        QTest::newRow("sRGB, a parametric curve") << srgb << true;
        QTest::newRow("sRGB, a curve of 1024 entries")
            << rgbProfile(SrgbColorants, tableCurve(table, 1024)) << true;
        QTest::newRow("grey, sRGB's curve") << greyProfile(srgbCurve()) << true;
        QTest::newRow("sRGB's colorants, gamma 2.2")
            << rgbProfile(SrgbColorants, gammaCurve(2.2)) << false;
        QTest::newRow("grey, gamma 2.2") << greyProfile(gammaCurve(2.2)) << false;
        QTest::newRow("Display P3") << p3Profile() << false;
        QTest::newRow("Adobe RGB") << QColorSpace(QColorSpace::AdobeRgb).iccProfile() << false;
        QTest::newRow("sRGB, cut") << srgb.chopped(20) << false;
        QTest::newRow("sRGB, as a device link") << QByteArray(srgb).replace(12, 4, "link") << false;
        QTest::newRow("noise") << noise(600, 3) << false;
    }
    void srgbProfiles()
    {
        QFETCH(QByteArray, profile);
        QFETCH(bool, srgb);
        QCOMPARE(picture::isSrgbProfile(profile), srgb);
    }

    // The decoding process reads the hostile profiles behind its walls without a word on its
    // standard error, through our own readers (BMP, TIFF). (Qt's readers parse a profile
    // themselves, to tag the picture, and say what they find wrong on the standard error.)
    void silent_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QImage picture = colourful({96, 72});
        const QByteArray p3 = written(u"tiff"_s, tagged(picture, P3));
        for (const auto &[name, profile] : hostile()) {
            QTest::newRow(qPrintable(u"BMP, profile "_s + QString::fromLatin1(name)))
                << withProfile(u"bmp"_s, picture, profile);
        }
        for (const auto &[name, profile] : damagedInPlace())
            QTest::newRow(qPrintable(u"TIFF, profile of "_s + QString::fromLatin1(name)))
                << replaced(p3, p3Profile(), profile);
    }
    void silent()
    {
        QFETCH(QByteArray, file);
        QProcess decoder;
        decoder.setStandardInputFile(fileWith(file));
        decoder.start(QStringLiteral(PINTU_DECODE), {});
        QVERIFY(decoder.waitForFinished(20000));
        QCOMPARE(decoder.exitStatus(), QProcess::NormalExit);
        QCOMPARE(decoder.exitCode(), 0);
        QVERIFY(decoder.readAllStandardOutput().size() >
                qsizetype(96) * 72 * 4); // the pixels came back
        QCOMPARE(QString::fromLocal8Bit(decoder.readAllStandardError()), QString());
    }

    // pintu-render, run as a program, writes what the game shows.
    void renders_data()
    {
        QTest::addColumn<QString>("kind");
        const QStringList kinds = {u"jpeg"_s, u"png"_s};
        for (const QString &kind : kinds)
            QTest::newRow(qPrintable(kind.toUpper() + u": Display P3"_s)) << kind;
    }
    void renders()
    {
        QFETCH(QString, kind);
        const QByteArray file = written(kind, tagged(colourful(), P3));
        const QString out = m_dir.filePath(u"out.png"_s);
        QFile::remove(out);
        QProcess render;
        render.start(QStringLiteral(PINTU_RENDER), {fileWith(file), out});
        QVERIFY(render.waitForFinished(20000));
        QCOMPARE(render.exitCode(), 0);
        const QImage written = QImageReader(out).read();
        const QString difference = differs(written, qtSrgb(stored(file), P3), 2);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
};

QTEST_MAIN(TestColour)
#include "tst_colour.moc"
